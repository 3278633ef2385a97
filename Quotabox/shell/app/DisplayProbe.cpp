#include "app/DisplayProbe.h"

#include <dlfcn.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <cstring>

namespace {
#if defined(MSG_NOSIGNAL)
constexpr int kNoSignal = MSG_NOSIGNAL;
#else
constexpr int kNoSignal = 0;
#endif

// Only the name counts; Qt takes platform arguments after a colon ("xcb:foo=1").
QByteArray pluginName(const QByteArray& candidate) {
  const qsizetype colon = candidate.indexOf(':');
  return (colon < 0 ? candidate : candidate.left(colon)).trimmed();
}

// Qt's own choice when QT_QPA_PLATFORM is unset.
QByteArray defaultPlatforms(const DisplayProbe::Environment& environment) {
#if defined(Q_OS_MACOS)
  Q_UNUSED(environment);
  return "cocoa";
#else
  // A compositor started from a text console leaves XDG_SESSION_TYPE at "tty"; its socket counts.
  const bool wayland = environment("XDG_SESSION_TYPE") == "wayland" || !environment("WAYLAND_DISPLAY").isEmpty();
  if (wayland) {
    const QByteArray desktops =
        environment("XDG_CURRENT_DESKTOP").toLower() + ':' + environment("XDG_SESSION_DESKTOP").toLower();
    // Qt stays on X11 under GNOME unless told otherwise.
    if (!desktops.contains("gnome")) return "wayland;xcb";
  }
  return "xcb";
#endif
}
}  // namespace

namespace DisplayProbe {

Environment processEnvironment() {
  return [](const char* name) { return qgetenv(name); };
}

Probes systemProbes() {
  return {&canConnectX11, [](const QString& socket) { return canConnectWayland(socket); }};
}

QByteArrayList platformCandidates(const Environment& environment) {
  QByteArray list = environment("QT_QPA_PLATFORM");
  if (list.trimmed().isEmpty()) list = defaultPlatforms(environment);
  QByteArrayList candidates;
  for (const QByteArray& entry : list.split(';')) {
    if (!pluginName(entry).isEmpty()) candidates << entry.trimmed();
  }
  return candidates;
}

QByteArray usablePlatforms(const Environment& environment, const Probes& probes) {
  QByteArrayList usable;
  for (const QByteArray& candidate : platformCandidates(environment)) {
    const QByteArray name = pluginName(candidate);
    bool opens = true;
    if (name == "offscreen" || name == "minimal") {
      opens = false;
    } else if (name == "xcb") {
      opens = probes.x11(environment("DISPLAY"));
    } else if (name.startsWith("wayland")) {
      const QString socket = waylandSocketPath(environment("WAYLAND_DISPLAY"), environment("XDG_RUNTIME_DIR"));
      opens = !socket.isEmpty() && probes.wayland(socket);
    }
    if (opens) usable << candidate;
  }
  return usable.join(';');
}

QString unusableReason(const Environment& environment, const Probes& probes) {
  QStringList causes;
  for (const QByteArray& candidate : platformCandidates(environment)) {
    const QByteArray name = pluginName(candidate);
    if (name == "offscreen" || name == "minimal") {
      causes << QStringLiteral("QT_QPA_PLATFORM의 %1은 화면을 띄우지 않아요").arg(QString::fromLatin1(name));
    } else if (name == "xcb") {
      const QByteArray display = environment("DISPLAY");
      if (display.isEmpty()) {
        causes << QStringLiteral("DISPLAY가 설정되어 있지 않아요");
      } else if (!probes.x11(display)) {
        causes << QStringLiteral("DISPLAY의 X 서버(%1)에 연결할 수 없어요").arg(QString::fromLocal8Bit(display));
      }
    } else if (name.startsWith("wayland")) {
      const QString socket = waylandSocketPath(environment("WAYLAND_DISPLAY"), environment("XDG_RUNTIME_DIR"));
      if (socket.isEmpty()) {
        causes << QStringLiteral("XDG_RUNTIME_DIR이 없어 Wayland 소켓을 찾을 수 없어요");
      } else if (!probes.wayland(socket)) {
        causes << QStringLiteral("Wayland 소켓(%1)에 연결할 수 없어요").arg(socket);
      }
    }
  }
  causes.removeDuplicates();
  return causes.join(QStringLiteral(", "));
}

QString waylandSocketPath(const QByteArray& waylandDisplay, const QByteArray& runtimeDir) {
  const QString name = waylandDisplay.isEmpty() ? QStringLiteral("wayland-0") : QString::fromLocal8Bit(waylandDisplay);
  if (QDir::isAbsolutePath(name)) return name;
  const QString folder = QString::fromLocal8Bit(runtimeDir);
  if (!QDir::isAbsolutePath(folder)) return {};
  return folder + u'/' + name;
}

bool canConnectX11(const QByteArray& display) {
  if (display.isEmpty()) return false;
  // libxcb is what Qt's X11 platform connects with; loaded here so the program needs no X11 at
  // link time (macOS has none).
  void* library = ::dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
  if (!library) return false;
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  const auto connect = reinterpret_cast<Connect>(::dlsym(library, "xcb_connect"));
  const auto hasError = reinterpret_cast<HasError>(::dlsym(library, "xcb_connection_has_error"));
  const auto disconnect = reinterpret_cast<Disconnect>(::dlsym(library, "xcb_disconnect"));
  bool connected = false;
  if (connect && hasError && disconnect) {
    // Never null: a failed connection is an object in an error state.
    void* connection = connect(display.constData(), nullptr);
    connected = connection && hasError(connection) == 0;
    if (connection) disconnect(connection);
  }
  ::dlclose(library);
  return connected;
}

bool canConnectWayland(const QString& socketPath, int timeoutMs) {
  const QByteArray path = QFile::encodeName(socketPath);
  sockaddr_un address{};
  if (path.isEmpty() || static_cast<size_t>(path.size()) >= sizeof(address.sun_path)) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
  // Closed again before anything could exec.
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return false;
  bool answered = false;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
    // A socket that accepts is not yet a compositor: ask for a round trip (wl_display.sync with a
    // new callback id 2, in host byte order as the protocol has it) and wait for any answer.
    const uint32_t sync[3] = {1, 12u << 16, 2};
    if (::send(fd, sync, sizeof sync, kNoSignal) == static_cast<ssize_t>(sizeof sync)) {
      pollfd entry{fd, POLLIN, 0};
      char reply[12];
      answered = ::poll(&entry, 1, timeoutMs) == 1 && ::recv(fd, reply, sizeof reply, MSG_DONTWAIT) > 0;
    }
  }
  ::close(fd);
  return answered;
}

}  // namespace DisplayProbe
