// Memory of the tray run over popover open/close cycles. Run inside a graphical session with a
// session bus (scripts/with-session build/bench/popover_cycles). Plays the StatusNotifierWatcher,
// starts `quotabox --mock`, then toggles the popover through the item's Activate method and
// reports the resident memory after a warm-up and after 100 more cycles.
//
//   popover_cycles [cycles = 100] [wrapper...]   e.g. a heap profiler as the wrapper; the
//   environment's POPOVER_CYCLES_EXECUTABLE replaces the executable
#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QProcess>

#include "BenchProcess.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int cycles = argc > 1 ? atoi(argv[1]) : 100;
  QStringList command;
  for (int i = 2; i < argc; ++i) command << QString::fromLocal8Bit(argv[i]);
  const QByteArray executable = qgetenv("POPOVER_CYCLES_EXECUTABLE");  // e.g. quotabox-desktop itself
  command << (executable.isEmpty() ? QStringLiteral(QUOTABOX_EXECUTABLE) : QString::fromLocal8Bit(executable))
          << QStringLiteral("--mock");

  QDBusConnection bus = QDBusConnection::sessionBus();
  BenchWatcher watcher;
  if (!watcher.serve(bus, "popover_cycles")) return 1;
  QTemporaryDir home;
  QProcess tray;
  const QString program = command.takeFirst();
  if (!startTray(tray, watcher, home, program, command, "popover_cycles")) return 1;
  const QString status = QStringLiteral("/proc/%1/status").arg(bus.interface()->servicePid(watcher.item).value());
  const auto residentKiB = [&] { return statusField(status, "VmRSS:"); };
  spin(3000);  // the first refresh

  const auto activate = [&] {
    QDBusMessage call =
        QDBusMessage::createMethodCall(watcher.item, QStringLiteral("/StatusNotifierItem"),
                                       QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Activate"));
    call << 0 << 0;
    bus.call(call);
    spin(60);
  };
  const auto cycle = [&](int count) {
    for (int i = 0; i < count; ++i) {
      activate();  // opens
      activate();  // closes
    }
    spin(500);  // pages deleted later are gone
  };
  const long long start = residentKiB();
  cycle(10);
  const long long warm = residentKiB();
  std::printf("resident memory: %.1f MB at start, %.1f MB after 10 cycles\n", start / 1024.0, warm / 1024.0);
  long long previous = warm;
  for (int done = 0; done < cycles; done += 25) {
    cycle(25);
    const long long now = residentKiB();
    std::printf("  after %3d more cycles: %.1f MB (%+lld KiB)\n", done + 25, now / 1024.0, now - previous);
    previous = now;
  }
  const double perCycle = double(previous - warm) / cycles;
  std::printf("growth after warm-up: %.2f KiB per cycle over %d cycles\n", perCycle, cycles);
  std::fflush(stdout);
  tray.terminate();
  tray.waitForFinished(10000);
  return 0;
}
