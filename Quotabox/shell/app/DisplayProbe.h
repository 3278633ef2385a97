#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// Tells, before a GUI application is built, whether Qt can open a display: Qt aborts the process
// when none of its platforms connects, so an unreachable DISPLAY or WAYLAND_DISPLAY must be found
// out here.
namespace DisplayProbe {

// Reads one environment variable.
using Environment = std::function<QByteArray(const char* name)>;

struct Probes {
  // Connects to the X server named by a DISPLAY value.
  std::function<bool(const QByteArray& display)> x11;
  // Connects to a Wayland compositor's socket.
  std::function<bool(const QString& socketPath)> wayland;
};

Environment processEnvironment();
Probes systemProbes();

// Qt's platform list for this environment: QT_QPA_PLATFORM, else Qt's default for the session
// (Wayland first when the session is Wayland or WAYLAND_DISPLAY is set, except under GNOME).
QByteArrayList platformCandidates(const Environment& environment);

// The candidates that can show windows now, joined as QT_QPA_PLATFORM takes them; empty when none
// can. Platforms without a display (offscreen, minimal) never count; platforms that cannot be
// probed here are kept and left to Qt.
QByteArray usablePlatforms(const Environment& environment, const Probes& probes);

// Why no candidate can show windows, in Korean, naming each variable or socket that failed; for
// the line that explains a fallback.
QString unusableReason(const Environment& environment, const Probes& probes);

// The socket a Wayland client connects to: WAYLAND_DISPLAY when absolute, else that name (default
// "wayland-0") inside XDG_RUNTIME_DIR; empty when the runtime folder is unset or relative.
QString waylandSocketPath(const QByteArray& waylandDisplay, const QByteArray& runtimeDir);

bool canConnectX11(const QByteArray& display);
// Connects and waits up to `timeoutMs` for the compositor to answer a round trip: a socket that
// accepts and then closes or stays silent would make Qt end the program later.
bool canConnectWayland(const QString& socketPath, int timeoutMs = 1000);

}  // namespace DisplayProbe
