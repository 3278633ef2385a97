// Records into a history file in a tight loop until it is killed; the crash test kills it at random
// moments and checks what is left on disk.
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

#include "history/HistoryCodec.h"
#include "history/HistoryStore.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: history_crash_child <history file>\n");
    return 2;
  }
  const std::filesystem::path file(argv[1]);
  // Continues after the newest sample on disk, so every run adds to the same history.
  double now = 1763400000;
  QFile input(argv[1]);
  if (input.open(QIODevice::ReadOnly)) {
    const QByteArray bytes = input.readAll();
    if (const auto body = HistoryCodec::decodeLossy(std::string_view(bytes.constData(), bytes.size()))) {
      for (const auto& entry : body->entries) {
        if (entry) now = std::max(now, toEpochSeconds(entry->at));
      }
    }
  }
  HistoryStore store(file);
  store.load(fromEpochSeconds(now)).waitForFinished();
  std::puts("ready");
  std::fflush(stdout);
  for (int step = 0;; ++step) {
    now += 61;
    std::vector<HistoryEntry> entries;
    for (const char* window : {"five_hour", "seven_day", "seven_day_opus", "seven_day_sonnet"}) {
      entries.push_back(
          {ServiceID::claude, window, double(step % 100), fromEpochSeconds(now), fromEpochSeconds(now + 3600)});
    }
    entries.push_back({ServiceID::codex, "codex_primary", double(step % 100), fromEpochSeconds(now), std::nullopt});
    store.record(std::move(entries), fromEpochSeconds(now)).waitForFinished();
  }
}
