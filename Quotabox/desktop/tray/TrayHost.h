#pragma once

#include <QDBusConnection>
#include <QString>
#include <functional>

class QObject;

// Which program draws our tray item, told from the process that owns the StatusNotifierWatcher
// name. It decides the glyph's shape: waybar draws icons at their own aspect, the others fit them
// into a square.
enum class TrayHost { unknown, waybar, plasma, gnome };

namespace TrayHosts {

// From a process name as /proc/PID/comm gives it (at most 15 characters, trailing newline).
TrayHost fromProcessName(const QString& name);
// The process name of `pid` under `procRoot`, read with a small cap; empty when unknown.
QString processName(qint64 pid, const QString& procRoot = QStringLiteral("/proc"));
// Whether the host keeps a wide icon wide.
inline bool keepsAspect(TrayHost host) { return host == TrayHost::waybar; }

// Asks the bus for the owner's process of `service` without blocking, then calls `done` on the
// main thread (unknown when the bus cannot say). Nothing is called once `context` is gone.
void probe(const QDBusConnection& bus, const QString& service, QObject* context, std::function<void(TrayHost)> done,
           const QString& procRoot = QStringLiteral("/proc"));

}  // namespace TrayHosts
