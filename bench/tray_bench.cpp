// Start-up and idle cost of the tray run. Run inside a graphical session with a session bus
// (scripts/with-session build/bench/tray_bench). Plays the StatusNotifierWatcher itself, starts
// `quotabox --mock` several times and reports the time from process start to the item's
// registration; then keeps one run idle (popover closed) and reports its resident memory after
// 60 s and its CPU time and context switches over the following 120 s.
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <algorithm>
#include <vector>

#include "BenchProcess.h"

namespace {

struct ProcessCost {
  double cpuSeconds = 0;
  long long contextSwitches = 0;
  long long rssKiB = 0;
};

ProcessCost cost(qint64 pid) {
  ProcessCost result;
  const QString proc = QStringLiteral("/proc/%1").arg(pid);
  result.rssKiB = statusField(proc + QStringLiteral("/status"), "VmRSS:");
  QFile stat(proc + QStringLiteral("/stat"));
  if (stat.open(QIODevice::ReadOnly)) {
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // Fields 14 and 15 of stat (utime, stime) are at 11 and 12 after the command name.
    result.cpuSeconds = (fields.value(11).toDouble() + fields.value(12).toDouble()) / sysconf(_SC_CLK_TCK);
  }
  for (const QString& task : QDir(proc + QStringLiteral("/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    const QString status = proc + QStringLiteral("/task/") + task + QStringLiteral("/status");
    result.contextSwitches +=
        statusField(status, "voluntary_ctxt_switches:") + statusField(status, "nonvoluntary_ctxt_switches:");
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QString quotabox = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(QUOTABOX_EXECUTABLE);
  const int idleSeconds = argc > 2 ? atoi(argv[2]) : 120;
  BenchWatcher watcher;
  if (!watcher.serve(QDBusConnection::sessionBus(), "tray_bench")) return 1;
  QTemporaryDir home;
  const QProcessEnvironment environment = trayEnvironment(home);

  constexpr int starts = 6;
  std::vector<double> startMs;
  QProcess idle;
  for (int i = 0; i < starts; ++i) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const int before = watcher.registrations;
    QElapsedTimer timer;
    timer.start();
    process.start(quotabox, {QStringLiteral("--mock")});
    spin(10000, [&] { return watcher.registrations > before; });
    if (watcher.registrations == before) {
      std::fprintf(stderr, "tray_bench: no registration within 10 s\n");
      return 1;
    }
    startMs.push_back(timer.nsecsElapsed() / 1e6);
    process.terminate();
    process.waitForFinished(5000);
  }
  // Baseline: starting the same executable for `--version`, which loads the libraries and exits.
  std::vector<double> baselineMs;
  for (int i = 0; i < starts; ++i) {
    QProcess process;
    process.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    process.start(quotabox, {QStringLiteral("--version")});
    process.waitForFinished(10000);
    baselineMs.push_back(timer.nsecsElapsed() / 1e6);
  }
  const auto median = [](std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  };
  std::printf("start to registration (ms), first run then warm runs:");
  for (double ms : startMs) std::printf(" %.0f", ms);
  const double warm = median(std::vector<double>(startMs.begin() + 1, startMs.end()));
  const double baseline = median(std::vector<double>(baselineMs.begin() + 1, baselineMs.end()));
  std::printf("\nwarm median: %.0f ms (goal < 300 ms); baseline `--version` run: %.0f ms; ratio %.2f\n", warm, baseline,
              warm / baseline);
  std::fflush(stdout);

  idle.setProcessEnvironment(environment);
  idle.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  idle.start(quotabox, {QStringLiteral("--mock")});
  if (!idle.waitForStarted(5000)) return 1;
  spin(60000);
  const ProcessCost settled = cost(idle.processId());
  std::printf("resident memory after 60 s: %.1f MB (goal < 60 MB)\n", settled.rssKiB / 1024.0);
  std::fflush(stdout);
  spin(idleSeconds * 1000);
  const ProcessCost after = cost(idle.processId());
  std::printf("idle %d s, popover closed (the --mock refresh interval is 120 s): CPU %.3f s, %lld context switches\n",
              idleSeconds, after.cpuSeconds - settled.cpuSeconds, after.contextSwitches - settled.contextSwitches);
  idle.terminate();
  idle.waitForFinished(5000);
  return 0;
}
