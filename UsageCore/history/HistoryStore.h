#pragma once

#include <QFuture>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "history/HistoryEntry.h"
#include "model/TimePoint.h"

class SerialExecutor;

// Bounded, persisted usage samples per window. An actor: every call runs one at
// a time, in call order, on the store's own thread and hands back a Snapshot;
// continuations bound to a context object bring it back to the caller's thread.
//
// On disk: "history.json" holds the compacted state and "history.json.journal"
// beside it one line per recorded refresh, flushed before the call returns. The
// journal is folded into the file at load, once it or pruning has made the
// file stale enough (Policy::journalFoldBytes), and after anything it cannot
// express.
//
// One process writes: it holds an advisory lock on "history.json.lock" beside the file for as long
// as the store lives. A store that finds the lock taken reads what the writer leaves on disk (and
// keeps its own samples in memory only) until the lock comes free. A clear first leaves a
// "history.json.clearing" marker, which makes an interrupted clear finish at the next start.
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
    // The journal is folded once it and the room of pruned samples pass this
    // or the file's own size, whichever is larger, or once pruned samples fill
    // half the file.
    long long journalFoldBytes = 262144;

    static Policy standard() { return {}; }
  };

  // Shares the store's samples; copying one is cheap.
  struct Snapshot {
    long long version = 0;
    HistoryMap entries;
    // setAsideError() as it stood when the snapshot was taken.
    std::error_code setAsideError;
  };

  // readOnly reads the file but never changes anything on disk (no write, quarantine,
  // permission change or deletion): for one-shot reports that must leave the history alone.
  enum class Access { readWrite, readOnly };

  // Deletes one item at a path; replaced in tests to stop a clear or a fold between its steps.
  using RemoveItem = std::function<bool(const std::filesystem::path&, std::error_code&)>;

  // No file location: memory only, no I/O at all. Construction does no I/O.
  // Destruction waits for the calls already queued, so a write in progress is
  // never cut short.
  explicit HistoryStore(std::optional<std::filesystem::path> fileURL, Policy policy = Policy::standard(),
                        Access access = Access::readWrite, RemoveItem removeItem = {});
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
  // Why nothing reaches the disk: a damaged history file (or journal) that could
  // not be moved aside stays in place untouched, and recording to disk stops
  // until a later call manages to move it. Empty otherwise.
  std::error_code setAsideError() const;
  // Why recording to disk has stopped: the last fold (rewriting the file) failed, so nothing more
  // is appended to the journal until one succeeds. Empty otherwise.
  std::error_code writeError() const;
  // Whether this store writes the file; false while another process holds the history's lock.
  bool isWriter() const;

  const std::optional<std::filesystem::path>& fileURL() const;
  // The journal beside a history file.
  static std::filesystem::path journalURL(const std::filesystem::path& fileURL);
  // The lock file and the interrupted-clear marker beside a history file.
  static std::filesystem::path lockURL(const std::filesystem::path& fileURL);
  static std::filesystem::path clearingURL(const std::filesystem::path& fileURL);

 private:
  struct State;
  // Queued calls hold the state, so none of them outlives what it works on.
  std::shared_ptr<State> m_state;
  std::unique_ptr<SerialExecutor> m_executor;
};
