// What the history costs at rest: resident memory per stored sample (a usage store loaded with a
// full history against one with none, each in its own process), and the bytes written to disk
// per recorded refresh (from /proc/self/io over a run of refreshes).
//
//   history_footprint              both measures
//   history_footprint rss FILE DAYS  (internal) prints the resident kB of a store loaded from FILE,
//                                    DAYS after the newest sample
#include <malloc.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "history/HistoryCodec.h"
#include "history/HistoryStore.h"
#include "store/ProcessMemory.h"
#include "store/UsageStore.h"

namespace fs = std::filesystem;

namespace {

constexpr int kSamples = 4000;
constexpr double kStart = 1763400000;
constexpr double kStep = 300;
constexpr double kNow = kStart + kStep * (kSamples - 1);

constexpr std::array<std::pair<ServiceID, const char*>, 8> kWindows{{{ServiceID::claude, "five_hour"},
                                                                     {ServiceID::claude, "seven_day"},
                                                                     {ServiceID::claude, "seven_day_opus"},
                                                                     {ServiceID::claude, "seven_day_sonnet"},
                                                                     {ServiceID::claude, "seven_day_oauth_apps"},
                                                                     {ServiceID::claude, "seven_day_cowork"},
                                                                     {ServiceID::codex, "codex_primary"},
                                                                     {ServiceID::codex, "codex_secondary"}}};

std::string fullHistory() {
  std::string out = R"({"version":1,"entries":[)";
  bool first = true;
  char buffer[256];
  for (const auto& [service, window] : kWindows) {
    for (int i = 0; i < kSamples; ++i) {
      const double at = kStart + kStep * i + 0.123;
      std::snprintf(buffer, sizeof buffer,
                    R"(%s{"service":"%s","windowID":"%s","usedPercent":%g,"at":%.3f,"resetsAt":%.1f})",
                    first ? "" : ",", service == ServiceID::claude ? "claude" : "codex", window, (i * 7 % 1000) / 10.0,
                    at, at + 18000.5);
      out += buffer;
      first = false;
    }
  }
  return out + "]}";
}

long residentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// Field of /proc/self/io ("write_bytes", "wchar").
long long ioCounter(const std::string& name) {
  std::ifstream io("/proc/self/io");
  for (std::string line; std::getline(io, line);) {
    if (line.rfind(name + ":", 0) == 0) return std::stoll(line.substr(name.size() + 1));
  }
  return -1;
}

// Child mode: a usage store (no providers) that has loaded FILE, as the tray keeps it.
int residentOfLoadedStore(int argc, char** argv) {
  // As the application sets it up at start.
  if (!std::getenv("FOOTPRINT_DEFAULT_ALLOCATOR")) ProcessMemory::returnLargeBuffersPromptly();
  QCoreApplication app(argc, argv);
  const double now = kNow + std::atof(argv[3]) * 86400;
  auto history = std::make_shared<HistoryStore>(fs::path(argv[2]));
  UsageStore store({}, history, [now] { return fromEpochSeconds(now); });
  QObject::connect(&store, &UsageStore::historyChanged, &app, &QCoreApplication::quit);
  QTimer::singleShot(3000, &app, &QCoreApplication::quit);  // an empty history never changes
  app.exec();
  malloc_trim(0);
  std::printf("%ld\n", residentKiB());
  return 0;
}

// Best of three runs; `content`, when given, is written to the file before each run.
long childResident(const QString& file, double days = 0, const std::string* content = nullptr) {
  long best = -1;
  for (int run = 0; run < 3; ++run) {
    if (content) std::ofstream(file.toStdString(), std::ios::binary | std::ios::trunc) << *content;
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {"rss", file, QString::number(days)});
    if (!child.waitForFinished(60000)) return -1;
    const long kib = child.readAllStandardOutput().trimmed().toLong();
    best = best < 0 ? kib : std::min(best, kib);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "rss") return residentOfLoadedStore(argc, argv);
  QCoreApplication app(argc, argv);
  // On disk, not tmpfs: write_bytes counts what reaches the block layer.
  QTemporaryDir folder(QDir::currentPath() + "/history-footprint-XXXXXX");
  if (!folder.isValid()) return 1;
  const fs::path file = fs::path(folder.path().toStdString()) / "Quotabox" / "history.json";
  fs::create_directories(file.parent_path());
  const std::string bytes = fullHistory();
  std::ofstream(file, std::ios::binary) << bytes;
  const std::size_t samples = kWindows.size() * kSamples;

  const long empty = childResident(QString::fromStdString((file.parent_path() / "absent.json").string()));
  const long full = childResident(QString::fromStdString(file.string()));
  std::printf("history file: %zu bytes, %zu samples\n", bytes.size(), samples);
  std::printf("resident, empty history   %8ld KiB\n", empty);
  std::printf("resident, full history    %8ld KiB\n", full);
  std::printf("memory per sample         %8.1f bytes  (goal < 64)\n", double(full - empty) * 1024 / double(samples));
  // A day later the oldest day has aged out, so the start also rewrites the file.
  const fs::path aging = file.parent_path() / "aging.json";
  const long later = childResident(QString::fromStdString(aging.string()), 1, &bytes);
  std::printf("  a day later (start rewrites the file) %8.1f bytes per sample\n",
              double(later - empty) * 1024 / double(samples * 13 / 14));

  // Refreshes every 120 s with every window changing, on top of the full history.
  constexpr int kRefreshes = 720;  // one day at the default interval
  HistoryStore store(file);
  store.load(fromEpochSeconds(kNow)).waitForFinished();
  const long long writtenBefore = ioCounter("write_bytes"), charsBefore = ioCounter("wchar");
  double now = kNow;
  for (int refresh = 0; refresh < kRefreshes; ++refresh) {
    now += 120;
    std::vector<HistoryEntry> entries;
    for (const auto& [service, window] : kWindows) {
      entries.push_back(
          {service, window, double((refresh * 3) % 100) + 0.25, fromEpochSeconds(now), fromEpochSeconds(now + 18000)});
    }
    store.record(std::move(entries), fromEpochSeconds(now)).waitForFinished();
  }
  const double written = double(ioCounter("write_bytes") - writtenBefore) / kRefreshes;
  const double chars = double(ioCounter("wchar") - charsBefore) / kRefreshes;
  std::printf(
      "per recorded refresh      %8.0f bytes to disk (write_bytes), %.0f bytes written (wchar)  "
      "(goal < 4096)\n",
      written, chars);
  return 0;
}
