#include "history/HistoryStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <QFile>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>

#include "files/FileDescriptor.h"
#include "files/RegularFile.h"
#include "history/HistoryCodec.h"
#include "history/HistoryFile.h"
#include "history/SerialExecutor.h"
#include "model/CoreLog.h"

namespace fs = std::filesystem;

namespace {

constexpr double kChangeThreshold = 0.005;
constexpr auto kFolderMask = fs::perms::owner_all;
constexpr auto kFileMask = fs::perms::owner_read | fs::perms::owner_write;

double seconds(TimePoint t) { return toEpochSeconds(t); }

bool earlier(const HistorySample& a, const HistorySample& b) { return a.at < b.at; }

HistorySample clamped(const HistoryEntry& entry) {
  HistorySample sample = HistorySample::from(entry);
  sample.usedPercent = std::clamp(sample.usedPercent, 0.0, 100.0);
  return sample;
}

std::pair<std::size_t, std::size_t> fingerprintOf(std::string_view bytes) {
  return {bytes.size(), std::hash<std::string_view>{}(bytes)};
}

bool isAbsent(const std::error_code& error) {
  return error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory;
}

// What a reader compares to tell that the writer changed the disk: identity, size and time of
// each item, -1 for an absent one. Appends change the size, folds the identity.
using DiskStamp = std::vector<long long>;

DiskStamp stampOf(std::initializer_list<fs::path> items) {
  DiskStamp stamp;
  for (const auto& item : items) {
    struct stat info {};
    if (::lstat(item.c_str(), &info) != 0) {
      stamp.insert(stamp.end(), {-1, -1, -1});
      continue;
    }
    stamp.insert(stamp.end(), {static_cast<long long>(info.st_ino), static_cast<long long>(info.st_size),
                               static_cast<long long>(info.st_mtime)});
  }
  return stamp;
}

bool removeWithFilesystem(const fs::path& item, std::error_code& error) { return fs::remove(item, error); }

// Samples read from disk, grouped by series before they join the store. The file lists each
// series in one run, so most elements find their series without a lookup.
class Staging {
 public:
  void add(HistoryEntry&& entry) {
    if (!entry.isRecordable()) return;
    if (!m_last || m_last->first.service != entry.service || m_last->first.windowID != entry.windowID) {
      const HistorySample sample = clamped(entry);
      m_last = &*series.try_emplace(HistoryKey{entry.service, std::move(entry.windowID)}).first;
      m_last->second.push_back(sample);
      return;
    }
    m_last->second.push_back(clamped(entry));
  }
  void add(Staging&& other) {
    for (auto& [key, samples] : other.series) {
      auto& into = series[key];
      into.insert(into.end(), samples.begin(), samples.end());
    }
    m_last = nullptr;
  }

  std::map<HistoryKey, std::vector<HistorySample>> series;

 private:
  std::pair<const HistoryKey, std::vector<HistorySample>>* m_last = nullptr;
};

}  // namespace

struct HistoryStore::State {
  State(std::optional<fs::path> file, Policy limits, Access mode, RemoveItem remover)
      : fileURL(std::move(file)),
        policy(limits),
        readOnly(mode == Access::readOnly),
        removeItem(remover ? std::move(remover) : RemoveItem(removeWithFilesystem)) {}

  // Who changes the disk: the store holding the history's lock. A reader defers to another process
  // that holds it; a read-only store never writes.
  enum class Role { undecided, writer, reader };

  const std::optional<fs::path> fileURL;
  const Policy policy;
  const bool readOnly;
  const RemoveItem removeItem;
  Role role = Role::undecided;
  std::atomic<bool> writer{false};
  FileDescriptor lock;
  // The disk as a reader last read it.
  std::optional<DiskStamp> readerSeen;
  // A clear left its marker on disk and has not finished deleting.
  bool clearPending = false;
  HistoryMap entries;
  long long version = 0;
  bool loaded = false;
  // The disk (file and journal together) lacks a change the journal cannot carry; until a fold
  // succeeds nothing is appended, so a piece of a failed append is never followed by more lines.
  bool needsFold = false;
  // Stored since the last write to disk.
  std::vector<HistoryEntry> unjournalled;
  std::uintmax_t journalBytes = 0;
  std::uintmax_t compactedBytes = 0;
  std::uintmax_t compactedSamples = 0;
  // Pruned since the last fold: their room in the file is wasted until the next one.
  std::uintmax_t prunedSamples = 0;
  std::atomic<bool> clearFailed{false};
  std::atomic<int> setAsideErrno{0};
  std::atomic<int> writeErrno{0};
  // Fingerprint of the file's bytes, so that rewriting identical content is skipped.
  std::optional<std::pair<std::size_t, std::size_t>> onDisk;

  bool writes() const { return role == Role::writer; }

  Snapshot snapshot() const {
    const int error = setAsideErrno;
    return Snapshot{version, entries, error == 0 ? std::error_code() : std::error_code(error, std::generic_category())};
  }

  // Runs one call; nothing escapes to the caller, whatever goes wrong inside.
  template <typename Work>
  Snapshot guarded(Work work) {
    try {
      work();
    } catch (const std::exception& error) {
      qCWarning(coreLog) << "history call failed:" << error.what();
    } catch (...) {
      qCWarning(coreLog) << "history call failed";
    }
    return snapshot();
  }

  std::uintmax_t maxBytes() const { return static_cast<std::uintmax_t>(std::max(0LL, policy.maxFileBytes)); }
  fs::path journal() const { return journalURL(*fileURL); }

  void claimLock();
  void forget();
  void begin();
  bool finishClear();
  void failWrite(std::error_code error);
  bool setAside(const fs::path& item, TimePoint now);
  void ensureLoaded(TimePoint now);
  bool readFile(Staging& staging, bool& read, TimePoint now);
  bool readJournal(Staging& staging, bool& read, TimePoint now);
  void merge(Staging staged);
  void prune(TimePoint now);
  void maintainBackups(TimePoint now);
  void persist();
  void fold();
  void load(TimePoint now);
  void record(std::vector<HistoryEntry> incoming, TimePoint now);
  void clear();
};

// This store writes while it holds the lock. A lock file that cannot be made (a read-only folder)
// leaves nobody to defer to, so the store then writes as it would without one.
void HistoryStore::State::claimLock() {
  if (!fileURL || readOnly || role == Role::writer) return;
  const fs::path folder = fileURL->parent_path().empty() ? fs::path(".") : fileURL->parent_path();
  HistoryFile::createPrivateDirectory(folder);
  FileDescriptor file(::open(lockURL(*fileURL).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
  if (file.valid() && ::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) {
      if (role == Role::undecided) qCDebug(coreLog) << "history is written by another process; reading only";
      role = Role::reader;
      return;
    }
    file.reset();
  }
  const bool wasReader = role == Role::reader;
  lock = std::move(file);
  role = Role::writer;
  writer = true;
  // What the last writer left on disk is the history now; the reader's own samples never got there.
  if (wasReader) forget();
}

void HistoryStore::State::forget() {
  entries.clear();
  unjournalled.clear();
  onDisk.reset();
  readerSeen.reset();
  loaded = false;
  needsFold = false;
  journalBytes = compactedBytes = compactedSamples = prunedSamples = 0;
  ++version;
}

// Every load and record starts here: take the lock if it is free, and a reader picks up what the
// writer has changed since it last looked.
void HistoryStore::State::begin() {
  claimLock();
  if (role != Role::reader) return;
  const DiskStamp seen = stampOf({*fileURL, journal(), clearingURL(*fileURL)});
  if (loaded && readerSeen != seen) forget();
  readerSeen = seen;
}

// Deletes what a clear deletes, the journal before the file; the marker goes last, so a clear cut
// short is finished at the next start instead of leaving part of the history to come back.
bool HistoryStore::State::finishClear() {
  bool failed = false;
  const auto remove = [&](const fs::path& item) {
    std::error_code error;
    const bool exists = HistoryFile::itemExists(item, error);
    // Not knowing whether something is there counts as failing to delete it.
    if (error) failed = true;
    if (exists && !removeItem(item, error)) failed = true;
  };
  for (const fs::path& item : {journal(), *fileURL}) {
    remove(item);
    std::error_code listError;
    const auto backups = HistoryFile::corruptBackups(item, &listError);
    if (listError) failed = true;
    for (const auto& backup : backups) remove(backup);
  }
  if (!failed) remove(clearingURL(*fileURL));
  clearPending = failed;
  return !failed;
}

// Appends stop until a fold succeeds, so a folder we cannot write never grows the journal; the
// first failure of a run is logged.
void HistoryStore::State::failWrite(std::error_code error) {
  needsFold = true;
  if (writeErrno.exchange(error.value()) == 0) {
    qCWarning(coreLog) << "cannot rewrite the history file, recording to disk paused:" << error.message().c_str();
  }
}

// A damaged item goes aside; when it cannot, it stays untouched and loading stops here.
bool HistoryStore::State::setAside(const fs::path& item, TimePoint now) {
  if (!writes()) return true;
  const std::error_code error = HistoryFile::quarantine(item, now, policy.maxCorruptBackups);
  setAsideErrno = error.value();
  return !error;
}

void HistoryStore::State::ensureLoaded(TimePoint now) {
  if (loaded) return;
  if (!fileURL) {
    loaded = true;
    return;
  }
  std::error_code markerError;
  const bool clearing = HistoryFile::itemExists(clearingURL(*fileURL), markerError);
  if (markerError) return;
  if (clearing) {
    // An interrupted clear: nothing on disk counts any more.
    if (writes()) {
      clearPending = true;
      if (!finishClear()) return;
    }
    loaded = true;
    return;
  }
  if (writes()) HistoryFile::removeStaleTemporaries(*fileURL);
  Staging staging;
  bool read = false;
  if (!readFile(staging, read, now) || !readJournal(staging, read, now)) return;
  if (read) merge(std::move(staging));
  loaded = true;
}

// False when loading must wait for a later call.
bool HistoryStore::State::readFile(Staging& staging, bool& read, TimePoint now) {
  const fs::path& file = *fileURL;
  std::error_code error;
  auto opened = RegularFile::open(file, RegularFile::Links::refuse, error);
  if (!opened) {
    // A link in the history's place is set aside like a damaged file: its target is not ours.
    if (error == std::errc::too_many_symbolic_link_levels) return setAside(file, now);
    // Absent: empty history. A folder or a pipe at the path, or any other failure: postponed.
    return isAbsent(error);
  }
  if (writes()) {
    if (HistoryFile::restrictPermissions(file.parent_path(), kFolderMask)) return false;
    if (HistoryFile::restrictPermissions(opened->descriptor(), kFileMask)) return false;
  }
  const auto bytes = opened->readAll(maxBytes(), error);
  if (!bytes) return error == std::errc::file_too_large ? setAside(file, now) : false;

  Staging fromFile;
  const auto version = HistoryCodec::decodeLossy(*bytes, [&](HistoryEntry&& entry) { fromFile.add(std::move(entry)); });
  if (version != HistoryCodec::currentVersion) return setAside(file, now);
  staging.add(std::move(fromFile));
  onDisk = fingerprintOf(*bytes);
  compactedBytes = bytes->size();
  compactedSamples = 0;
  for (const auto& [key, samples] : staging.series) compactedSamples += samples.size();
  read = true;
  return true;
}

bool HistoryStore::State::readJournal(Staging& staging, bool& read, TimePoint now) {
  const fs::path journal = this->journal();
  std::error_code error;
  const auto bytes = RegularFile::read(journal, maxBytes(), error, RegularFile::Links::refuse);
  if (!bytes) {
    if (isAbsent(error)) return true;
    // A link, a pipe or a folder in the journal's place, or one too large to read, goes aside so
    // that history goes on.
    if (error == std::errc::too_many_symbolic_link_levels || error == std::errc::file_too_large ||
        error == std::errc::invalid_argument) {
      return setAside(journal, now);
    }
    return false;
  }
  if (writes()) HistoryFile::restrictPermissions(journal, kFileMask);
  journalBytes = bytes->size();
  std::string_view rest(*bytes);
  // What follows the last newline is a line cut short by a crash; it is left out.
  for (std::size_t newline; (newline = rest.find('\n')) != std::string_view::npos; rest.remove_prefix(newline + 1)) {
    Staging line;
    const auto version =
        HistoryCodec::decodeLossy(rest.substr(0, newline), [&](HistoryEntry&& entry) { line.add(std::move(entry)); });
    if (version == HistoryCodec::currentVersion) staging.add(std::move(line));
  }
  if (journalBytes > 0) {
    needsFold = true;
    read = true;
  }
  return true;
}

void HistoryStore::State::merge(Staging staged) {
  for (auto& [key, samples] : staged.series) {
    auto& series = entries[key].edit();
    if (series.empty()) {
      series = std::move(samples);
    } else {
      series.insert(series.end(), samples.begin(), samples.end());
    }
    if (!std::is_sorted(series.begin(), series.end(), earlier)) {
      std::stable_sort(series.begin(), series.end(), earlier);
      needsFold = true;
    }
    // The first of equal times wins.
    const auto end =
        std::unique(series.begin(), series.end(),
                    [](const HistorySample& kept, const HistorySample& next) { return kept.at == next.at; });
    if (end != series.end()) {
      series.erase(end, series.end());
      needsFold = true;
    }
    series.shrink_to_fit();
  }
  ++version;
}

void HistoryStore::State::prune(TimePoint now) {
  const double current = seconds(now);
  // A broken clock must not wipe the history.
  if (!std::isfinite(current)) return;
  const HistorySample lower{current - policy.retention}, upper{current + policy.futureTolerance};
  const std::size_t limit = static_cast<std::size_t>(std::max(0, policy.maxEntriesPerKey));
  for (auto it = entries.begin(); it != entries.end();) {
    const HistorySeries& series = it->second;
    // Series are ordered by time: what falls outside the limits sits at either end.
    const std::size_t first = std::lower_bound(series.begin(), series.end(), lower, earlier) - series.begin();
    const std::size_t last = std::upper_bound(series.begin(), series.end(), upper, earlier) - series.begin();
    const std::size_t from = std::max(first, last > limit ? last - limit : std::size_t(0));
    const std::size_t to = std::max(from, last);
    if (from != 0 || to != series.size()) {
      prunedSamples += series.size() - (to - from);
      auto& samples = it->second.edit();
      samples.erase(samples.begin() + static_cast<std::ptrdiff_t>(to), samples.end());
      samples.erase(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(from));
      ++version;
    }
    it = it->second.empty() ? entries.erase(it) : std::next(it);
  }
}

void HistoryStore::State::maintainBackups(TimePoint now) {
  if (!fileURL || !writes()) return;
  HistoryFile::maintainBackups(*fileURL, now, policy.retention, policy.futureTolerance);
  HistoryFile::maintainBackups(journal(), now, policy.retention, policy.futureTolerance);
}

void HistoryStore::State::persist() {
  if (!fileURL || !writes() || !loaded) return;
  if (clearPending && !finishClear()) return;
  // Lines are added only to a file already on disk; the first samples of a new history make the file.
  if (!onDisk && !unjournalled.empty()) needsFold = true;
  if (!needsFold && !unjournalled.empty()) {
    std::string line = HistoryCodec::encode(unjournalled);
    line += '\n';
    // A journal past the file limit would be set aside whole at the next start.
    if (journalBytes + line.size() > maxBytes() || HistoryFile::appendDurably(line, journal())) {
      needsFold = true;
    } else {
      journalBytes += line.size();
      unjournalled.clear();
    }
  }
  const std::uintmax_t perSample = compactedSamples > 0 ? compactedBytes / compactedSamples : 110;
  const std::uintmax_t limit =
      std::max(static_cast<std::uintmax_t>(std::max(0LL, policy.journalFoldBytes)), compactedBytes);
  const std::uintmax_t prunedRoom = prunedSamples * perSample;
  if (needsFold || journalBytes + prunedRoom > limit || (prunedSamples > 0 && 2 * prunedSamples >= compactedSamples))
    fold();
}

// Writes the whole state as the file, then drops the journal it now contains. A crash between the
// two leaves lines that are already in the file; reading them again changes nothing.
void HistoryStore::State::fold() {
  const std::string bytes = HistoryCodec::encode(entries);
  const auto fingerprint = fingerprintOf(bytes);
  // On failure everything stays pending and the next persist tries again.
  if (onDisk != fingerprint) {
    if (const auto error = HistoryFile::writeAtomically(bytes, *fileURL)) return failWrite(error);
  }
  onDisk = fingerprint;
  compactedBytes = bytes.size();
  compactedSamples = 0;
  for (const auto& [key, series] : entries) compactedSamples += series.size();
  prunedSamples = 0;
  unjournalled.clear();
  std::error_code error;
  removeItem(journal(), error);
  if (error) return failWrite(error);
  journalBytes = 0;
  needsFold = false;
  writeErrno = 0;
}

void HistoryStore::State::load(TimePoint now) {
  if (fileURL) begin();
  const bool first = !loaded;
  ensureLoaded(now);
  const std::uintmax_t prunedBefore = prunedSamples;
  prune(now);
  // What aged out while the program was not running leaves the file with the first load.
  if (first && loaded && prunedSamples != prunedBefore) needsFold = true;
  maintainBackups(now);
  persist();
}

void HistoryStore::State::record(std::vector<HistoryEntry> incoming, TimePoint now) {
  if (fileURL) begin();
  ensureLoaded(now);
  prune(now);

  const double current = seconds(now);
  std::erase_if(incoming, [](const HistoryEntry& entry) { return !entry.isRecordable(); });
  std::stable_sort(incoming.begin(), incoming.end(),
                   [](const HistoryEntry& a, const HistoryEntry& b) { return a.at < b.at; });

  bool stored = false;
  for (auto& entry : incoming) {
    const double at = seconds(entry.at);
    if (!(at - current <= policy.futureTolerance) || !(current - at <= policy.retention)) continue;
    entry.usedPercent = std::clamp(entry.usedPercent, 0.0, 100.0);
    const HistorySample sample = HistorySample::from(entry);

    HistoryKey key{entry.service, entry.windowID};
    const auto found = entries.find(key);
    if (found != entries.end() && !found->second.empty()) {
      const HistorySample& last = found->second.back();
      const double gap = at - last.at;
      bool keep = false;
      if (gap < policy.minGap) {
        keep = false;
      } else if (std::abs(sample.usedPercent - last.usedPercent) >= kChangeThreshold) {
        keep = true;
      } else if (!std::isnan(sample.resetsAt) && !std::isnan(last.resetsAt) &&
                 sample.resetsAt > last.resetsAt + policy.cycleResetAdvance) {
        keep = true;  // a new reset cycle began at the same level
      } else {
        keep = gap >= policy.flatGap;  // heartbeat while the value is flat
      }
      if (!keep) continue;
      found->second.edit().push_back(sample);
    } else {
      entries[std::move(key)].edit().push_back(sample);
    }
    // A reader's samples stay in memory: the writer's own refreshes record the same usage.
    if (!fileURL || writes()) unjournalled.push_back(std::move(entry));
    stored = true;
  }
  if (stored) ++version;

  prune(now);
  maintainBackups(now);
  persist();
}

void HistoryStore::State::clear() {
  entries.clear();
  unjournalled.clear();
  onDisk.reset();
  readerSeen.reset();
  loaded = true;
  ++version;
  needsFold = false;
  journalBytes = compactedBytes = compactedSamples = prunedSamples = 0;
  clearFailed = false;
  if (!fileURL || readOnly) return;
  claimLock();
  // The files belong to the process holding the lock: its next write would bring them back.
  if (!writes()) {
    clearFailed = true;
    return;
  }
  // On disk before anything is deleted. Should it fail, the deletions are still worth trying.
  HistoryFile::createDurably(clearingURL(*fileURL));
  clearFailed = !finishClear();
  setAsideErrno = 0;
  writeErrno = 0;
}

HistoryStore::HistoryStore(std::optional<fs::path> fileURL, Policy policy, Access access, RemoveItem removeItem)
    : m_state(std::make_shared<State>(std::move(fileURL), policy, access, std::move(removeItem))),
      m_executor(std::make_unique<SerialExecutor>()) {}

HistoryStore::~HistoryStore() = default;

std::optional<fs::path> HistoryStore::defaultFileURL() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (folder.isEmpty()) return std::nullopt;
  return fs::path(QFile::encodeName(folder).toStdString()) / "Quotabox" / "history.json";
}

fs::path HistoryStore::journalURL(const fs::path& fileURL) {
  fs::path journal = fileURL;
  journal += ".journal";
  return journal;
}

fs::path HistoryStore::lockURL(const fs::path& fileURL) {
  fs::path lock = fileURL;
  lock += ".lock";
  return lock;
}

fs::path HistoryStore::clearingURL(const fs::path& fileURL) {
  fs::path marker = fileURL;
  marker += ".clearing";
  return marker;
}

QFuture<HistoryStore::Snapshot> HistoryStore::load(TimePoint now) {
  return m_executor->run([state = m_state, now] { return state->guarded([&] { state->load(now); }); });
}

QFuture<HistoryStore::Snapshot> HistoryStore::record(std::vector<HistoryEntry> entries, TimePoint now) {
  return m_executor->run([state = m_state, entries = std::move(entries), now]() mutable {
    return state->guarded([&] { state->record(std::move(entries), now); });
  });
}

QFuture<HistoryStore::Snapshot> HistoryStore::clear() {
  return m_executor->run([state = m_state] { return state->guarded([&] { state->clear(); }); });
}

bool HistoryStore::clearFailed() const { return m_state->clearFailed; }

std::error_code HistoryStore::setAsideError() const {
  const int error = m_state->setAsideErrno;
  return error == 0 ? std::error_code() : std::error_code(error, std::generic_category());
}

const std::optional<fs::path>& HistoryStore::fileURL() const { return m_state->fileURL; }

std::error_code HistoryStore::writeError() const {
  const int error = m_state->writeErrno;
  return error == 0 ? std::error_code() : std::error_code(error, std::generic_category());
}

bool HistoryStore::isWriter() const { return m_state->writer; }
