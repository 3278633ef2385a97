#include "tray/TrayHost.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

#include "files/RegularFile.h"

namespace {
constexpr int kProbeTimeoutMs = 1000;
// comm holds at most 16 bytes; anything longer is not a process name.
constexpr std::uintmax_t kCommLimit = 64;
}  // namespace

namespace TrayHosts {

TrayHost fromProcessName(const QString& name) {
  const QString process = name.trimmed();
  if (process == QLatin1String("waybar")) return TrayHost::waybar;
  if (process == QLatin1String("gnome-shell")) return TrayHost::gnome;
  // kded runs Plasma's watcher; plasmashell runs one when kded does not.
  if (process == QLatin1String("kded5") || process == QLatin1String("kded6") ||
      process == QLatin1String("plasmashell")) {
    return TrayHost::plasma;
  }
  return TrayHost::unknown;
}

QString processName(qint64 pid, const QString& procRoot) {
  if (pid <= 0) return {};
  std::error_code error;
  const std::filesystem::path path = (procRoot + QStringLiteral("/%1/comm").arg(pid)).toStdString();
  const auto bytes = RegularFile::read(path, kCommLimit, error);
  if (!bytes) return {};
  return QString::fromUtf8(bytes->data(), static_cast<qsizetype>(bytes->size())).trimmed();
}

void probe(const QDBusConnection& bus, const QString& service, QObject* context, std::function<void(TrayHost)> done,
           const QString& procRoot) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
  call << service;
  auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(call, kProbeTimeoutMs), context);
  QObject::connect(pending, &QDBusPendingCallWatcher::finished, context,
                   [done = std::move(done), procRoot](QDBusPendingCallWatcher* finished) {
                     finished->deleteLater();
                     const QDBusMessage reply = finished->reply();
                     TrayHost host = TrayHost::unknown;
                     if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                       host = fromProcessName(processName(reply.arguments().constFirst().toLongLong(), procRoot));
                     }
                     done(host);
                   });
}

}  // namespace TrayHosts
