// Memory of the tray run under a flood of StatusNotifierItem calls, as a stuck panel or a hostile
// client on the session bus may send them. Run inside a graphical session with a session bus
// (scripts/with-session build/bench/sni_flood). Plays the StatusNotifierWatcher, starts
// `quotabox --mock`, sends calls without waiting for replies at the given rate, and reports the
// resident memory before, at the end of the flood and after a pause.
//
//   sni_flood [calls per second = 10000] [seconds = 10] [method = SecondaryActivate]
//   method: SecondaryActivate, Activate, Scroll, ContextMenu or GetAll (the item's properties)
#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <algorithm>

#include "BenchProcess.h"

namespace {

long long statusKiB(uint pid, const char* field) {
  return statusField(QStringLiteral("/proc/%1/status").arg(pid), field);
}

QDBusMessage makeCall(const QString& item, const QString& method) {
  if (method == QLatin1String("GetAll")) {
    QDBusMessage call = QDBusMessage::createMethodCall(item, QStringLiteral("/StatusNotifierItem"),
                                                       QStringLiteral("org.freedesktop.DBus.Properties"), method);
    call << QStringLiteral("org.kde.StatusNotifierItem");
    return call;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(item, QStringLiteral("/StatusNotifierItem"),
                                                     QStringLiteral("org.kde.StatusNotifierItem"), method);
  if (method == QLatin1String("Scroll"))
    call << 1 << QStringLiteral("vertical");
  else
    call << 0 << 0;
  return call;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int rate = argc > 1 ? atoi(argv[1]) : 10000;
  const int seconds = argc > 2 ? atoi(argv[2]) : 10;
  const QString method = argc > 3 ? QString::fromLatin1(argv[3]) : QStringLiteral("SecondaryActivate");
  if (rate <= 0 || seconds <= 0) {
    std::fprintf(stderr, "usage: sni_flood [calls per second] [seconds] [method]\n");
    return 2;
  }

  QDBusConnection bus = QDBusConnection::sessionBus();
  BenchWatcher watcher;
  if (!watcher.serve(bus, "sni_flood")) return 1;
  QTemporaryDir home;
  QProcess tray;
  if (!startTray(tray, watcher, home, QStringLiteral(QUOTABOX_EXECUTABLE), {QStringLiteral("--mock")}, "sni_flood"))
    return 1;
  const uint pid = bus.interface()->servicePid(watcher.item).value();
  spin(3000);  // the first refresh

  const long long before = statusKiB(pid, "VmRSS:");
  const QDBusMessage call = makeCall(watcher.item, method);
  // Batches every 10 ms; replies are never awaited, so a slow item cannot slow the sender.
  const int batch = std::max(1, rate / 100);
  long long sent = 0;
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < seconds * 1000LL) {
    const long long due = clock.elapsed() * rate / 1000;
    for (int i = 0; i < batch && sent < due; ++i, ++sent) bus.send(call);
    QCoreApplication::processEvents();  // drop replies as they come
    if (sent >= due) spin(10);
  }
  const long long atEnd = statusKiB(pid, "VmRSS:");
  spin(10000);
  const long long after = statusKiB(pid, "VmRSS:");
  const long long peak = statusKiB(pid, "VmHWM:");
  const bool alive = tray.state() == QProcess::Running;
  std::printf("%s flood: %lld calls in %d s (%.0f/s)\n", qPrintable(method), sent, seconds, double(sent) / seconds);
  std::printf("resident memory: %.1f MB before, %.1f MB at the end, %.1f MB 10 s later, peak %.1f MB; %s\n",
              before / 1024.0, atEnd / 1024.0, after / 1024.0, peak / 1024.0, alive ? "still running" : "ENDED");
  const bool bounded = alive && after - before < 20 * 1024;
  std::printf("budget resident memory back within 20 MB of the start after the flood: %s\n",
              bounded ? "met" : "MISSED");
  std::fflush(stdout);
  tray.terminate();
  tray.waitForFinished(10000);
  return bounded ? 0 : 1;
}
