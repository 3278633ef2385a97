#include "codex/CodexLogReader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <algorithm>
#include <atomic>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "files/RegularFile.h"
#include "model/CoreLog.h"
#include "model/UsageParsing.h"

namespace fs = std::filesystem;

namespace {

// Real auth files are a few KB; anything far larger is not one.
constexpr std::uintmax_t kMaxAuthBytes = 1 << 20;
// Codex nests its logs by year, month and day; anything far deeper is not its doing.
constexpr int kMaxDepth = 16;

// Never blocks: a pipe or device at the path gives no plan instead of stalling the scan.
std::optional<std::string> planFromAuth(const fs::path& authPath) {
  std::error_code error;
  const auto bytes = RegularFile::read(authPath, kMaxAuthBytes, error);
  if (!bytes) return std::nullopt;
  return UsageParsing::codexPlan(QByteArray::fromRawData(bytes->data(), static_cast<qsizetype>(bytes->size())));
}

// "rollout-*.jsonl": the extension is what follows the last full stop.
bool isLogName(std::string_view name) { return name.starts_with("rollout-") && name.ends_with(".jsonl"); }

TimePoint modificationTime(const struct stat& info) {
#if defined(__APPLE__)
  const timespec& time = info.st_mtimespec;
#else
  const timespec& time = info.st_mtim;
#endif
  return fromEpochSeconds(static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) * 1e-9);
}

// An open folder, closed on every exit.
class Folder {
 public:
  Folder() = default;
  explicit Folder(int fd) : m_fd(fd) {}
  Folder(Folder&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  Folder& operator=(Folder&& other) noexcept {
    std::swap(m_fd, other.m_fd);
    return *this;
  }
  ~Folder() {
    if (m_fd >= 0) ::close(m_fd);
  }
  // `name` inside `parent`, never through a symbolic link at its last step.
  static Folder open(int parent, const char* name) {
    int fd;
    do {
      fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    } while (fd < 0 && errno == EINTR);
    return Folder(fd);
  }
  int fd() const { return m_fd; }
  explicit operator bool() const { return m_fd >= 0; }

 private:
  int m_fd = -1;
};

// An eighth of the descriptor limit, at most 256: 128 with Linux's usual limit, 32 with macOS's.
std::size_t openFoldersAtMost() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 256;
  return static_cast<std::size_t>(std::min<rlim_t>(limit.rlim_cur / 8, 256));
}

}  // namespace

struct CodexLogReader::Listing {
  std::vector<std::string> folders;  // below "sessions", each ending in "/"; the first is "sessions" itself
  std::vector<Candidate> logs;
  // Folder handles kept open for the reads, by folder: a log opened by its name in its own folder
  // costs one lookup instead of one per path step. Up to a share of the process's descriptor
  // limit; the logs of further folders are opened by their path below "sessions" (-1 here).
  std::vector<int> handles;
  std::vector<Folder> kept;
  std::size_t keepAtMost = 0;

  // Every entry is looked at relative to its folder's handle: one fstatat per log, none per
  // subfolder the listing already types.
  void walk(int fd, std::uint32_t folder, int depth) {
    const int listed = ::dup(fd);
    if (listed < 0) return;
    DIR* const entries = ::fdopendir(listed);
    if (!entries) {
      ::close(listed);
      return;
    }
    while (const dirent* entry = ::readdir(entries)) {
      const std::string_view name = entry->d_name;
      if (name.starts_with('.')) continue;  // hidden, and the folder itself and its parent
      const bool log = isLogName(name);
      bool folderEntry = entry->d_type == DT_DIR;
      struct stat info;
      if (entry->d_type == DT_UNKNOWN || (log && entry->d_type == DT_REG)) {
        if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        folderEntry = S_ISDIR(info.st_mode);
        if (log && S_ISREG(info.st_mode)) {
          logs.push_back({folders[folder] + std::string(name), modificationTime(info),
                          static_cast<std::uintmax_t>(std::max<off_t>(info.st_size, 0)), folder});
          continue;
        }
      }
      if (!folderEntry || depth >= kMaxDepth) continue;
      Folder child = Folder::open(fd, entry->d_name);
      if (!child) continue;  // unreadable: skipped like a folder without logs
      const auto index = static_cast<std::uint32_t>(folders.size());
      folders.push_back(folders[folder] + std::string(name) + "/");
      handles.push_back(kept.size() < keepAtMost ? child.fd() : -1);
      walk(child.fd(), index, depth + 1);
      if (handles[index] >= 0) kept.push_back(std::move(child));
    }
    ::closedir(entries);
  }
};

// The reads of one scan, shared by the scanning thread and a helper. Files are claimed one at a
// time in scan order; a slot is written by the thread that read it and taken by the scanning
// thread once `await` says it is there.
class CodexLogReader::Reads {
 public:
  enum State : int { pending, done, cutShort };

  Reads(const CodexLogReader& reader, const std::vector<int>& folders, const fs::path& sessions,
        const std::vector<Candidate>& logs, const std::vector<std::size_t>& changed, std::stop_token stop)
      : m_reader(reader),
        m_folders(folders),
        m_sessions(sessions),
        m_logs(logs),
        m_changed(changed),
        m_stop(std::move(stop)),
        m_slots(std::make_unique<Slot[]>(changed.size())) {}

  // The helper's part: reads until every file is claimed.
  void work() {
    ReverseJSONL::Buffers buffers;
    while (readNext(buffers)) {
    }
  }

  // The outcome for the k-th changed file; reads others while the helper holds it.
  State await(std::size_t k) {
    for (;;) {
      const int state = m_slots[k].state.load(std::memory_order_acquire);
      if (state != pending) return State(state);
      if (!readNext(m_buffers)) m_slots[k].state.wait(pending, std::memory_order_acquire);
    }
  }
  State state(std::size_t k) const { return State(m_slots[k].state.load(std::memory_order_acquire)); }
  std::optional<CodexRecord> take(std::size_t k) { return std::move(m_slots[k].record); }

 private:
  struct Slot {
    std::optional<CodexRecord> record;
    std::atomic<int> state{pending};
  };

  // Claims and reads the next file; once the scan is cancelled, claims are marked cut short at
  // once, so every slot gets an outcome and no thread waits for ever.
  bool readNext(ReverseJSONL::Buffers& buffers) {
    const std::size_t k = m_next.fetch_add(1, std::memory_order_relaxed);
    if (k >= m_changed.size()) return false;
    Slot& slot = m_slots[k];
    int state = cutShort;
    if (!m_stop.stop_requested()) {
      try {
        slot.record = m_reader.readFile(m_folders, m_logs[m_changed[k]], m_sessions, buffers, m_stop);
      } catch (...) {
        slot.record.reset();  // unreadable, whatever the opener threw
      }
      if (!m_stop.stop_requested()) state = done;
    }
    slot.state.store(state, std::memory_order_release);
    slot.state.notify_all();
    return true;
  }

  const CodexLogReader& m_reader;
  const std::vector<int>& m_folders;
  const fs::path& m_sessions;
  const std::vector<Candidate>& m_logs;
  const std::vector<std::size_t>& m_changed;
  const std::stop_token m_stop;
  std::unique_ptr<Slot[]> m_slots;
  std::atomic<std::size_t> m_next{0};
  ReverseJSONL::Buffers m_buffers;  // the scanning thread's
};

CodexLogReader::CodexLogReader(Clock clock, Opener open, std::size_t parallelFrom)
    : m_clock(std::move(clock)), m_open(std::move(open)), m_parallelFrom(parallelFrom) {}

std::optional<CodexRecord> CodexLogReader::readFile(const std::vector<int>& folders, const Candidate& log,
                                                    const fs::path& sessions, ReverseJSONL::Buffers& buffers,
                                                    std::stop_token stop) const {
  std::optional<CodexRecord> found;
  const auto visit = [&](std::string_view line) {
    // Most lines are not rate-limit records: a byte search rules them out before any decoding.
    if (!CodexRecord::mayBeRecord(line)) return false;
    found = CodexRecord::fromLine(line);
    return found.has_value();
  };
  try {
    const fs::path path = sessions / log.relative;
    const bool inOwnFolder = folders[log.folder] >= 0;
    const auto file = m_open(inOwnFolder ? folders[log.folder] : folders[0],
                             log.relative.c_str() + (inOwnFolder ? log.nameAt() : 0), path);
    ReverseJSONL::visitLines(*file, ReverseJSONL::defaultChunkSize, ReverseJSONL::defaultMaximumLine, visit,
                             std::move(stop), buffers);
  } catch (const std::exception& error) {
    qCDebug(coreLog) << "Codex log skipped:" << error.what();
    found.reset();  // unreadable, or cancelled: the caller checks the token
  }
  return found;
}

ServiceUsage CodexLogReader::readLocal(const fs::path& root, std::stop_token stop, const Preview& preview) {
  const std::lock_guard lock(m_mutex);
  const TimePoint now = m_clock();
  const auto result = [&](ProviderStatus status) {
    return ServiceUsage::failure(ServiceID::codex, now, std::move(status));
  };
  if (root != m_root) {
    m_cache.clear();
    m_root = root;
  }

  const fs::path authPath = root / "auth.json";
  const std::optional<std::string> plan = planFromAuth(authPath);
  std::error_code ignored;
  const bool hasAuth = fs::exists(authPath, ignored);
  const auto nothingFound = [&](bool anyCandidate) {
    return result(!hasAuth && !anyCandidate ? ProviderStatus::notSignedIn()
                                            : ProviderStatus::unavailable(noRecordsMessage));
  };

  const fs::path sessions = root / "sessions";
  int sessionsFd;
  do {
    sessionsFd = ::open(sessions.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
  } while (sessionsFd < 0 && errno == EINTR);
  const Folder top(sessionsFd);
  if (!top) return nothingFound(false);
  Listing listing;
  listing.folders.emplace_back();
  listing.handles.push_back(top.fd());
  listing.keepAtMost = openFoldersAtMost();
  listing.walk(top.fd(), 0, 0);
  std::vector<Candidate>& logs = listing.logs;
  std::stable_sort(logs.begin(), logs.end(),
                   [](const Candidate& a, const Candidate& b) { return a.modified > b.modified; });

  // One look-up per log: the cached outcome of each unchanged one, and which are to be read.
  std::vector<const Cached*> unchanged(logs.size(), nullptr);
  std::vector<std::size_t> changed;
  std::size_t known = 0;
  for (std::size_t i = 0; i < logs.size(); ++i) {
    const auto hit = m_cache.empty() ? m_cache.end() : m_cache.find(logs[i].relative);
    if (hit != m_cache.end()) {
      ++known;
      if (hit->second.modified == logs[i].modified && hit->second.size == logs[i].size) {
        unchanged[i] = &hit->second;
        continue;
      }
    }
    changed.push_back(i);
  }
  // Forget files that are gone. Entries move by their nodes, so the pointers above stay valid.
  if (known != m_cache.size()) {
    std::unordered_map<std::string, Cached> kept;
    for (const Candidate& log : logs) {
      if (auto node = m_cache.extract(log.relative)) kept.insert(std::move(node));
    }
    m_cache = std::move(kept);
  }
  m_cache.reserve(logs.size());

  const auto report = [&](const Cached& cached) {
    ServiceUsage usage = cached.record->usage(std::nullopt, cached.readAt);
    if (plan) usage.planName = plan;
    return usage;
  };

  // Changed and new files are read by this thread and, when there are many, a helper; results are
  // taken strictly in scan order, so the outcome is the serial one whatever finishes first.
  Reads reads(*this, listing.handles, sessions, logs, changed, stop);
  std::optional<std::jthread> helper;
  if (changed.size() >= m_parallelFrom && m_parallelFrom > 0) {
    try {
      helper.emplace([&reads] { reads.work(); });
    } catch (const std::system_error&) {
      // No thread to be had: this one reads everything.
    }
  }
  const auto cancelled = [&] {
    helper.reset();  // the token is set: the helper marks what is left cut short and ends
    // Files read to their end before the cancellation stay cached; the one cut short does not.
    for (std::size_t k = 0; k < changed.size(); ++k) {
      const Candidate& log = logs[changed[k]];
      if (reads.state(k) == Reads::done)
        m_cache.insert_or_assign(log.relative, Cached{log.modified, log.size, reads.take(k), now});
    }
    return result(ProviderStatus::unavailable(cancelledMessage));
  };

  bool previewDone = !preview;
  // Points into the cache, whose elements stay in place when it grows.
  const Cached* best = nullptr;
  std::size_t nextChanged = 0;
  for (std::size_t i = 0; i < logs.size(); ++i) {
    const Candidate& log = logs[i];
    if (stop.stop_requested()) return cancelled();
    const Cached* entry = unchanged[i];
    if (!entry) {
      const std::size_t k = nextChanged++;
      if (reads.await(k) != Reads::done || stop.stop_requested()) return cancelled();
      entry = &m_cache.insert_or_assign(log.relative, Cached{log.modified, log.size, reads.take(k), now}).first->second;
    }
    const Cached& cached = *entry;
    // A tie keeps the earlier, more recently modified file.
    if (cached.record && (!best || cached.record->fetchedAt() > best->record->fetchedAt())) best = &cached;

    // Early answer. A record is written before its file is last modified, so no file modified
    // before the best record's time stamp (less a margin for coarse clocks) can hold a later one;
    // files come newest first, so once the next one is that old, the rest are too, and the answer
    // is final unless a file's modification time was set back. It is handed out now; the scan
    // goes on to fill the cache and to catch such a file, whose record then replaces it.
    if (!previewDone && best && i + 1 < logs.size() &&
        best->record->fetchedAt() > logs[i + 1].modified + Seconds(clockMarginSeconds)) {
      previewDone = true;
      // Files still to read, or else the scan ends at once and its result is the early one.
      if (nextChanged < changed.size()) preview(report(*best));
    }
  }

  if (!best) return nothingFound(!logs.empty());
  return report(*best);
}
