// Records into a history file in a tight loop until it is killed. The crash test starts it, kills it
// at random moments and checks what is left on disk.
#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "HistoryCodec.h"
#include "HistoryStore.h"

namespace {

constexpr double kStart = 1763400000;  // used when the file holds nothing yet

struct Window {
  ServiceID service;
  const char* id;
};

constexpr std::array<Window, 8> kWindows{{{ServiceID::claude, "five_hour"},
                                          {ServiceID::claude, "seven_day"},
                                          {ServiceID::claude, "seven_day_opus"},
                                          {ServiceID::claude, "seven_day_sonnet"},
                                          {ServiceID::claude, "seven_day_oauth_apps"},
                                          {ServiceID::claude, "seven_day_cowork"},
                                          {ServiceID::codex, "codex_primary"},
                                          {ServiceID::codex, "codex_secondary"}}};

// Continues after the newest sample already on disk, so every run adds to the same history.
double resumeTime(const std::filesystem::path& file) {
  QFile input(QString::fromStdString(file.string()));
  if (!input.open(QIODevice::ReadOnly)) return kStart;
  const QByteArray bytes = input.readAll();
  const auto body = HistoryCodec::decodeLossy(std::string_view(bytes.constData(), bytes.size()));
  double latest = kStart;
  if (body) {
    for (const auto& entry : body->entries) {
      if (entry) latest = std::max(latest, toEpochSeconds(entry->at));
    }
  }
  return latest;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: history_crash_child <history file>\n");
    return 2;
  }
  const std::filesystem::path file(argv[1]);
  double now = resumeTime(file);
  HistoryStore store(file);
  store.load(fromEpochSeconds(now)).waitForFinished();
  // Tells the test that the writing loop starts now.
  std::puts("ready");
  std::fflush(stdout);
  for (long step = 0;; ++step) {
    now += 61;
    std::vector<HistoryEntry> entries;
    for (std::size_t i = 0; i < kWindows.size(); ++i) {
      HistoryEntry entry;
      entry.service = kWindows[i].service;
      entry.windowID = kWindows[i].id;
      entry.usedPercent = static_cast<double>((step + static_cast<long>(i)) % 100);
      entry.at = fromEpochSeconds(now);
      entry.resetsAt = fromEpochSeconds(now + 3600);
      entries.push_back(std::move(entry));
    }
    store.record(std::move(entries), fromEpochSeconds(now)).waitForFinished();
  }
}
