#include "tray/BusBacklog.h"

#include <dlfcn.h>

namespace {

// Qt loads libdbus itself; its functions are looked up in the process rather than linked, so a
// build needs no D-Bus development files and a missing symbol only disables what needs it.
using OutgoingSize = long (*)(void*);
using SetReceivedSize = void (*)(void*, long);

OutgoingSize outgoingSize() {
  static const auto function =
      reinterpret_cast<OutgoingSize>(::dlsym(RTLD_DEFAULT, "dbus_connection_get_outgoing_size"));
  return function;
}

}  // namespace

qint64 busBacklogBytes(const QDBusConnection& bus) {
  const OutgoingSize query = outgoingSize();
  void* const connection = bus.internalPointer();  // the library's DBusConnection
  if (!query || !connection) return -1;
  return query(connection);
}

bool limitUnreadBytes(const QDBusConnection& bus, long bytes) {
  static const auto setReceivedSize =
      reinterpret_cast<SetReceivedSize>(::dlsym(RTLD_DEFAULT, "dbus_connection_set_max_received_size"));
  void* const connection = bus.internalPointer();
  if (!setReceivedSize || !connection) return false;
  setReceivedSize(connection, bytes);
  return true;
}
