#pragma once

#include <QFuture>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "history/HistoryEntry.h"
#include "model/TimePoint.h"

class QThreadPool;

// Bounded, persisted usage samples per window. An actor: every call runs one at
// a time on the store's own thread and hands back a Snapshot; continuations
// bound to a context object (QFuture::then(context, ...)) bring it back to the
// caller's thread.
class HistoryStore {
 public:
  struct Policy {
    double retention = 1209600;  // seconds
    double minGap = 60;
    double flatGap = 600;
    int maxEntriesPerKey = 4000;
    long long maxFileBytes = 8388608;
    int maxCorruptBackups = 3;
    double futureTolerance = 60;
    double cycleResetAdvance = 300;

    static Policy standard() { return {}; }
  };

  struct Snapshot {
    long long version = 0;
    HistoryMap entries;
  };

  // readOnly reads the file but never changes anything on disk (no write, quarantine,
  // permission change or deletion): for one-shot reports that must leave the history alone.
  enum class Access { readWrite, readOnly };

  // No file location: memory only, no I/O at all. Construction does no I/O.
  // Destruction waits for the calls already queued, so a write in progress is
  // never cut short.
  explicit HistoryStore(std::optional<std::filesystem::path> fileURL, Policy policy = Policy::standard(),
                        Access access = Access::readWrite);
  ~HistoryStore();
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  // $XDG_DATA_HOME/Quotabox/history.json (the platform's application-data
  // folder); absent when the platform names no such folder.
  static std::optional<std::filesystem::path> defaultFileURL();

  QFuture<Snapshot> load(TimePoint now);
  QFuture<Snapshot> record(std::vector<HistoryEntry> entries, TimePoint now);
  QFuture<Snapshot> clear();
  // Whether the last clear() failed to delete a file.
  bool clearFailed() const;

  const std::optional<std::filesystem::path>& fileURL() const;

 private:
  struct State;
  // Queued calls hold the state, so none of them outlives what it works on.
  std::shared_ptr<State> m_state;
  // One thread: calls run one at a time, in the order they were made.
  std::unique_ptr<QThreadPool> m_pool;
};
