// Records into a history file in a tight loop until it is killed; the crash test kills it at random
// moments and checks what is left on disk.
//
//   history_crash_child <history file> <journal fold bytes>
//
// With "clear", it clears the history instead and kills itself right after the given number of
// deletions, as a crash between the clear's steps would.
//
//   history_crash_child <history file> clear <deletions>
//
// With "fold", it records until its second fold and kills itself at that fold's deletion of the
// journal, just before it or just after it. After each record it prints the samples acknowledged.
//
//   history_crash_child <history file> fold before|after
#include <QCoreApplication>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "history/HistoryStore.h"

namespace {

// Records five samples a minute after `now`, for ever; `acknowledged` hears each finished record.
[[noreturn]] void recordForever(HistoryStore& store, double now, const std::function<void(int)>& acknowledged = {}) {
  for (int step = 0;; ++step) {
    now += 61;
    std::vector<HistoryEntry> entries;
    for (const char* window : {"five_hour", "seven_day", "seven_day_opus", "seven_day_sonnet"}) {
      entries.push_back(
          {ServiceID::claude, window, double(step % 100), fromEpochSeconds(now), fromEpochSeconds(now + 3600)});
    }
    entries.push_back({ServiceID::codex, "codex_primary", double(step % 100), fromEpochSeconds(now), std::nullopt});
    store.record(std::move(entries), fromEpochSeconds(now)).waitForFinished();
    if (acknowledged) acknowledged(5 * (step + 1));
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc == 4 && std::strcmp(argv[2], "clear") == 0) {
    int left = std::atoi(argv[3]);
    HistoryStore store(argv[1], HistoryStore::Policy::standard(), HistoryStore::Access::readWrite,
                       [&left](const std::filesystem::path& item, std::error_code& error) {
                         const bool removed = std::filesystem::remove(item, error);
                         if (--left == 0) std::raise(SIGKILL);
                         return removed;
                       });
    store.clear().waitForFinished();
    return store.clearFailed() ? 1 : 0;
  }
  if (argc == 4 && std::strcmp(argv[2], "fold") == 0) {
    const bool after = std::strcmp(argv[3], "after") == 0;
    const std::filesystem::path journal = HistoryStore::journalURL(argv[1]);
    int folds = 0;
    HistoryStore::Policy policy;
    policy.journalFoldBytes = 4096;  // the journal outgrows the young file after a few records
    HistoryStore store(argv[1], policy, HistoryStore::Access::readWrite,
                       [&](const std::filesystem::path& item, std::error_code& error) {
                         const bool last = item == journal && ++folds == 2;
                         if (last && !after) std::raise(SIGKILL);
                         const bool removed = std::filesystem::remove(item, error);
                         if (last) std::raise(SIGKILL);
                         return removed;
                       });
    store.load(fromEpochSeconds(1763400000)).waitForFinished();
    recordForever(store, 1763400000, [](int samples) {
      std::printf("%d\n", samples);
      std::fflush(stdout);
    });
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: history_crash_child <history file> <journal fold bytes>\n");
    return 2;
  }
  HistoryStore::Policy policy;
  // Folds also wait for the journal to reach the file's size: with a sizeable file, kills land in
  // appends (the "fold" mode stops folds at a chosen step).
  policy.journalFoldBytes = std::atoll(argv[2]);
  const std::filesystem::path file(argv[1]);
  // Continues after the newest sample on disk, so every run adds to the same history. A read-only
  // look without a usable clock prunes nothing.
  double now = 1763400000;
  HistoryStore look(file, policy, HistoryStore::Access::readOnly);
  for (const auto& [key, series] : look.load(fromEpochSeconds(HUGE_VAL)).result().entries) {
    now = std::max(now, series.back().at);
  }
  HistoryStore store(file, policy);
  store.load(fromEpochSeconds(now)).waitForFinished();
  std::puts("ready");
  std::fflush(stdout);
  recordForever(store, now);
}
