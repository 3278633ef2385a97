#include "history/HistoryStore.h"

#include <QFile>
#include <QStandardPaths>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <atomic>
#include <cmath>

#include "history/HistoryCodec.h"
#include "history/HistoryFile.h"

namespace fs = std::filesystem;

namespace {

constexpr double kChangeThreshold = 0.005;
constexpr auto kFolderMask = fs::perms::owner_all;
constexpr auto kFileMask = fs::perms::owner_read | fs::perms::owner_write;

double seconds(TimePoint t) { return toEpochSeconds(t); }

HistoryKey keyOf(const HistoryEntry& entry) { return {entry.service, entry.windowID}; }

void clampPercent(HistoryEntry& entry) { entry.usedPercent = std::clamp(entry.usedPercent, 0.0, 100.0); }

bool earlier(const HistoryEntry& a, const HistoryEntry& b) { return a.at < b.at; }

std::pair<std::size_t, std::size_t> fingerprintOf(std::string_view bytes) {
  return {bytes.size(), std::hash<std::string_view>{}(bytes)};
}

}  // namespace

struct HistoryStore::State {
  State(std::optional<fs::path> file, Policy limits, Access mode)
      : fileURL(std::move(file)), policy(limits), readOnly(mode == Access::readOnly) {}

  const std::optional<fs::path> fileURL;
  const Policy policy;
  const bool readOnly;
  HistoryMap entries;
  long long version = 0;
  bool loaded = false;
  bool dirty = false;
  std::atomic<bool> clearFailed{false};
  // Fingerprint of the bytes known to be on disk, so that rewriting identical content is skipped.
  std::optional<std::pair<std::size_t, std::size_t>> onDisk;

  Snapshot snapshot() const { return Snapshot{version, entries}; }

  // Runs one call; nothing escapes to the caller, whatever goes wrong inside.
  template <typename Work>
  Snapshot guarded(Work work) {
    try {
      work();
    } catch (...) {
    }
    try {
      return snapshot();
    } catch (...) {
      return Snapshot{version, {}};
    }
  }

  void ensureLoaded(TimePoint now);
  void merge(std::vector<HistoryEntry> incoming);
  void prune(TimePoint now);
  void maintainBackups(TimePoint now);
  void persist();
  void load(TimePoint now);
  void record(std::vector<HistoryEntry> incoming, TimePoint now);
  void clear();
};

void HistoryStore::State::ensureLoaded(TimePoint now) {
  if (loaded) return;
  if (!fileURL) {
    loaded = true;
    return;
  }
  const fs::path& file = *fileURL;
  std::error_code error;
  const auto status = fs::status(file, error);
  if (error) {
    // Absent file (or a dangling link): empty history. Any other failure
    // postpones loading.
    if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory) loaded = true;
    return;
  }
  if (status.type() == fs::file_type::not_found) {
    loaded = true;
    return;
  }
  // A folder or a pipe at the path cannot be read as a history; it is left
  // alone.
  if (status.type() != fs::file_type::regular) return;
  const std::uintmax_t size = fs::file_size(file, error);
  if (error) return;

  if (!readOnly) {
    if (HistoryFile::restrictPermissions(file.parent_path(), kFolderMask)) return;
    if (HistoryFile::restrictPermissions(file, kFileMask)) return;
  }

  if (size > static_cast<std::uintmax_t>(std::max(0LL, policy.maxFileBytes))) {
    if (!readOnly) HistoryFile::quarantine(file, now, policy.maxCorruptBackups);
    loaded = true;
    return;
  }
  const auto bytes =
      HistoryFile::readRegularFile(file, static_cast<std::uintmax_t>(std::max(0LL, policy.maxFileBytes)), error);
  if (!bytes) return;

  auto body = HistoryCodec::decodeLossy(*bytes);
  if (!body || body->version != HistoryCodec::currentVersion) {
    if (!readOnly) HistoryFile::quarantine(file, now, policy.maxCorruptBackups);
    loaded = true;
    return;
  }
  std::vector<HistoryEntry> kept;
  kept.reserve(body->entries.size());
  for (auto& element : body->entries) {
    if (element) kept.push_back(std::move(*element));
  }
  merge(std::move(kept));
  onDisk = fingerprintOf(*bytes);
  loaded = true;
}

void HistoryStore::State::merge(std::vector<HistoryEntry> incoming) {
  for (auto& entry : incoming) {
    if (!entry.isRecordable()) continue;
    clampPercent(entry);
    entries[keyOf(entry)].push_back(std::move(entry));
  }
  for (auto& [key, series] : entries) {
    std::stable_sort(series.begin(), series.end(), earlier);
    // The first of equal times wins.
    series.erase(std::unique(series.begin(), series.end(),
                             [](const HistoryEntry& kept, const HistoryEntry& next) { return kept.at == next.at; }),
                 series.end());
  }
  ++version;
  dirty = true;
}

void HistoryStore::State::prune(TimePoint now) {
  const double current = seconds(now);
  // A broken clock must not wipe the history.
  if (!std::isfinite(current)) return;
  const double lower = current - policy.retention;
  const double upper = current + policy.futureTolerance;
  const std::size_t limit = static_cast<std::size_t>(std::max(0, policy.maxEntriesPerKey));
  for (auto it = entries.begin(); it != entries.end();) {
    auto& series = it->second;
    const std::size_t before = series.size();
    std::erase_if(series, [&](const HistoryEntry& entry) {
      const double at = seconds(entry.at);
      return !(lower <= at && at <= upper);
    });
    if (series.size() > limit) series.erase(series.begin(), series.end() - static_cast<std::ptrdiff_t>(limit));
    if (series.size() != before) {
      dirty = true;
      ++version;
    }
    it = series.empty() ? entries.erase(it) : std::next(it);
  }
}

void HistoryStore::State::maintainBackups(TimePoint now) {
  if (fileURL && !readOnly) HistoryFile::maintainBackups(*fileURL, now, policy.retention, policy.futureTolerance);
}

void HistoryStore::State::persist() {
  if (!fileURL || readOnly || !loaded || !dirty) return;
  const std::string bytes = HistoryCodec::encode(entries);
  const auto fingerprint = fingerprintOf(bytes);
  if (onDisk == fingerprint) {
    dirty = false;
    return;
  }
  // On failure the store stays dirty and the next persist writes again.
  if (!HistoryFile::writeAtomically(bytes, *fileURL)) {
    dirty = false;
    onDisk = fingerprint;
  }
}

void HistoryStore::State::load(TimePoint now) {
  ensureLoaded(now);
  prune(now);
  maintainBackups(now);
  persist();
}

void HistoryStore::State::record(std::vector<HistoryEntry> incoming, TimePoint now) {
  ensureLoaded(now);
  prune(now);

  const double current = seconds(now);
  std::erase_if(incoming, [](const HistoryEntry& entry) { return !entry.isRecordable(); });
  std::stable_sort(incoming.begin(), incoming.end(), earlier);

  bool stored = false;
  for (auto& entry : incoming) {
    const double at = seconds(entry.at);
    if (!(at - current <= policy.futureTolerance) || !(current - at <= policy.retention)) continue;
    clampPercent(entry);

    const auto found = entries.find(keyOf(entry));
    if (found != entries.end() && !found->second.empty()) {
      const HistoryEntry& last = found->second.back();
      const double gap = at - seconds(last.at);
      bool keep = false;
      if (gap < policy.minGap) {
        keep = false;
      } else if (std::abs(entry.usedPercent - last.usedPercent) >= kChangeThreshold) {
        keep = true;
      } else if (entry.resetsAt && last.resetsAt &&
                 seconds(*entry.resetsAt) > seconds(*last.resetsAt) + policy.cycleResetAdvance) {
        keep = true;  // a new reset cycle began at the same level
      } else {
        keep = gap >= policy.flatGap;  // heartbeat while the value is flat
      }
      if (!keep) continue;
      found->second.push_back(std::move(entry));
    } else {
      entries[keyOf(entry)].push_back(std::move(entry));
    }
    stored = true;
  }
  if (stored) {
    dirty = true;
    ++version;
  }

  prune(now);
  maintainBackups(now);
  persist();
}

void HistoryStore::State::clear() {
  entries.clear();
  onDisk.reset();
  loaded = true;
  ++version;
  dirty = false;
  clearFailed = false;
  if (!fileURL || readOnly) return;

  bool failed = false;
  const auto remove = [&](const fs::path& item) {
    std::error_code error;
    const bool exists = HistoryFile::itemExists(item, error);
    // Not knowing whether something is there counts as failing to delete it.
    if (error) failed = true;
    if (exists && !fs::remove(item, error)) failed = true;
  };
  remove(*fileURL);
  std::error_code listError;
  const auto backups = HistoryFile::corruptBackups(*fileURL, &listError);
  if (listError) failed = true;
  for (const auto& backup : backups) remove(backup);
  clearFailed = failed;
}

HistoryStore::HistoryStore(std::optional<fs::path> fileURL, Policy policy, Access access)
    : m_state(std::make_shared<State>(std::move(fileURL), policy, access)), m_pool(std::make_unique<QThreadPool>()) {
  m_pool->setMaxThreadCount(1);
}

HistoryStore::~HistoryStore() { m_pool->waitForDone(); }

std::optional<fs::path> HistoryStore::defaultFileURL() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (folder.isEmpty()) return std::nullopt;
  return fs::path(QFile::encodeName(folder).toStdString()) / "Quotabox" / "history.json";
}

QFuture<HistoryStore::Snapshot> HistoryStore::load(TimePoint now) {
  return QtConcurrent::run(m_pool.get(), [state = m_state, now] { return state->guarded([&] { state->load(now); }); });
}

QFuture<HistoryStore::Snapshot> HistoryStore::record(std::vector<HistoryEntry> entries, TimePoint now) {
  return QtConcurrent::run(m_pool.get(), [state = m_state, entries = std::move(entries), now]() mutable {
    return state->guarded([&] { state->record(std::move(entries), now); });
  });
}

QFuture<HistoryStore::Snapshot> HistoryStore::clear() {
  return QtConcurrent::run(m_pool.get(), [state = m_state] { return state->guarded([&] { state->clear(); }); });
}

bool HistoryStore::clearFailed() const { return m_state->clearFailed; }

const std::optional<fs::path>& HistoryStore::fileURL() const { return m_state->fileURL; }
