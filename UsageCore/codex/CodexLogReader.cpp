#include "codex/CodexLogReader.h"

#include <sys/stat.h>

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <string_view>
#include <system_error>

#include "files/RegularFile.h"
#include "model/CoreLog.h"
#include "model/UsageParsing.h"

namespace fs = std::filesystem;

namespace {

// Real auth files are a few KB; anything far larger is not one.
constexpr std::uintmax_t kMaxAuthBytes = 1 << 20;

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

}  // namespace

CodexLogReader::CodexLogReader(Clock clock, ReverseJSONL::Opener open)
    : m_clock(std::move(clock)), m_open(std::move(open)) {}

std::vector<CodexLogReader::Candidate> CodexLogReader::candidates(const fs::path& sessions, bool& listed) const {
  std::vector<Candidate> found;
  std::error_code error;
  fs::recursive_directory_iterator it(sessions, fs::directory_options::skip_permission_denied, error);
  listed = !error;
  if (error) return found;

  for (const fs::recursive_directory_iterator end; it != end; it.increment(error)) {
    if (error) break;  // the rest of the tree cannot be listed; use what was found
    const std::string& path = it->path().native();
    const std::string_view name = std::string_view(path).substr(path.rfind('/') + 1);
    if (name.starts_with('.')) {
      std::error_code ignored;
      if (it->is_directory(ignored)) it.disable_recursion_pending();
      continue;
    }
    if (!isLogName(name)) continue;
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    found.push_back({it->path(), modificationTime(info), static_cast<std::uintmax_t>(info.st_size)});
  }
  return found;
}

std::optional<ServiceUsage> CodexLogReader::readFile(const fs::path& path, std::stop_token stop) {
  const TimePoint now = m_clock();
  const auto parse = [&](std::string_view line) -> std::optional<ServiceUsage> {
    // Only token_count records can carry rate limits; skip decoding everything else.
    if (line.find("token_count") == std::string_view::npos) return std::nullopt;
    try {
      return UsageParsing::codexEvent(QByteArray::fromRawData(line.data(), static_cast<qsizetype>(line.size())),
                                      std::nullopt, now);
    } catch (const std::exception&) {
      return std::nullopt;
    }
  };
  try {
    return ReverseJSONL::read(path, ReverseJSONL::defaultChunkSize, ReverseJSONL::defaultMaximumLine, parse,
                              std::move(stop), m_open);
  } catch (const std::exception& error) {
    qCDebug(coreLog) << "Codex log skipped:" << error.what();
    return std::nullopt;  // unreadable, or cancelled: the caller checks the token
  }
}

ServiceUsage CodexLogReader::readLocal(const fs::path& root, std::stop_token stop) {
  const std::lock_guard lock(m_mutex);
  const auto result = [&](ProviderStatus status) {
    return ServiceUsage::failure(ServiceID::codex, m_clock(), std::move(status));
  };

  const fs::path authPath = root / "auth.json";
  const std::optional<std::string> plan = planFromAuth(authPath);
  std::error_code ignored;
  const bool hasAuth = fs::exists(authPath, ignored);
  const auto nothingFound = [&](bool anyCandidate) {
    return result(!hasAuth && !anyCandidate ? ProviderStatus::notSignedIn()
                                            : ProviderStatus::unavailable(noRecordsMessage));
  };

  bool listed = false;
  std::vector<Candidate> logs = candidates(root / "sessions", listed);
  if (!listed) return nothingFound(false);
  std::stable_sort(logs.begin(), logs.end(),
                   [](const Candidate& a, const Candidate& b) { return a.modified > b.modified; });

  // Forget files that are gone.
  std::size_t known = 0;
  for (const Candidate& log : logs) known += m_cache.count(log.path.native());
  if (known != m_cache.size()) {
    std::unordered_map<std::string, Cached> kept;
    for (const Candidate& log : logs) {
      if (auto node = m_cache.extract(log.path.native())) kept.insert(std::move(node));
    }
    m_cache = std::move(kept);
  }

  // Points into the cache, whose elements stay in place when it grows.
  const ServiceUsage* best = nullptr;
  for (const Candidate& log : logs) {
    if (stop.stop_requested()) return result(ProviderStatus::unavailable(cancelledMessage));
    auto hit = m_cache.find(log.path.native());
    if (hit == m_cache.end() || hit->second.modified != log.modified || hit->second.size != log.size) {
      std::optional<ServiceUsage> usage = readFile(log.path, stop);
      if (stop.stop_requested()) return result(ProviderStatus::unavailable(cancelledMessage));
      hit = m_cache.insert_or_assign(log.path.native(), Cached{log.modified, log.size, std::move(usage)}).first;
    }
    const std::optional<ServiceUsage>& usage = hit->second.usage;
    // A tie keeps the earlier, more recently modified file.
    if (usage && (!best || usage->fetchedAt > best->fetchedAt)) best = &*usage;
  }

  if (!best) return nothingFound(!logs.empty());
  ServiceUsage found = *best;
  if (plan) found.planName = plan;
  return found;
}
