#include "tray/BusBacklog.h"

#include <dlfcn.h>

namespace {

// Qt loads libdbus itself; its outgoing-size query is looked up in the process rather than
// linked, so a build needs no D-Bus development files and a missing symbol only disables the check.
using OutgoingSize = long (*)(void*);

OutgoingSize outgoingSize() {
  static const auto function =
      reinterpret_cast<OutgoingSize>(::dlsym(RTLD_DEFAULT, "dbus_connection_get_outgoing_size"));
  return function;
}

}  // namespace

qint64 busBacklogBytes(const QDBusConnection& bus) {
  const OutgoingSize query = outgoingSize();
  void* const connection = bus.internalPointer();  // the library's DBusConnection
  if (!query || !connection) return 0;
  return query(connection);
}
