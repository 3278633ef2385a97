#include "history/HistoryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <limits>

#include "files/AtomicFileWriter.h"
#include "files/FileDescriptor.h"

namespace HistoryFile {

namespace {

using PosixFile::lastError;

std::string backupPrefix(const fs::path& file) { return file.filename().string() + ".corrupt-"; }

// Stamp of a backup name as a whole or floating-point number; anything else counts as 0.
template <typename Number>
Number parseStamp(std::string_view suffix) {
  if (!suffix.empty() && suffix.front() == '+') suffix.remove_prefix(1);
  Number value = 0;
  const auto [end, error] = std::from_chars(suffix.data(), suffix.data() + suffix.size(), value);
  if (suffix.empty() || error != std::errc() || end != suffix.data() + suffix.size()) return 0;
  return value;
}

long long wholeSeconds(TimePoint now) {
  const double seconds = std::trunc(toEpochSeconds(now));
  // A clock outside the representable range gives stamp 0 rather than undefined
  // behaviour.
  if (!std::isfinite(seconds) || seconds < -9.2e18 || seconds > 9.2e18) return 0;
  return static_cast<long long>(seconds);
}

}  // namespace

bool itemExists(const fs::path& item, std::error_code& error) {
  error.clear();
  const auto status = fs::symlink_status(item, error);
  if (error) {
    if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory) {
      error.clear();
    }
    return false;
  }
  return status.type() != fs::file_type::not_found;
}

std::error_code restrictPermissions(const fs::path& item, fs::perms mask) {
  struct stat info {};
  if (::lstat(item.c_str(), &info) != 0) return lastError();
  if (S_ISLNK(info.st_mode)) return {};
  const mode_t current = info.st_mode & 07777;
  const mode_t restricted = current & static_cast<mode_t>(mask);
  if (restricted == current) return {};
  if (::chmod(item.c_str(), restricted) != 0) return lastError();
  return {};
}

std::error_code restrictPermissions(int descriptor, fs::perms mask) {
  struct stat info {};
  if (::fstat(descriptor, &info) != 0) return lastError();
  const mode_t current = info.st_mode & 07777;
  const mode_t restricted = current & static_cast<mode_t>(mask);
  if (restricted == current) return {};
  if (::fchmod(descriptor, restricted) != 0) return lastError();
  return {};
}

namespace {
// mkdir -p where only the folders it creates get mode 0700; existing ones stay
// as they are.
std::error_code makeDirectories(const fs::path& directory) {
  std::error_code error;
  if (fs::is_directory(directory, error)) return {};
  const fs::path parent = directory.parent_path();
  if (!parent.empty() && parent != directory) {
    if (const auto parentError = makeDirectories(parent)) return parentError;
  }
  if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return lastError();
  return {};
}
}  // namespace

std::error_code createPrivateDirectory(const fs::path& directory) {
  const fs::path folder = directory.empty() ? fs::path(".") : directory;
  if (const auto error = makeDirectories(folder)) return error;
  return restrictPermissions(folder, fs::perms::owner_all);
}

std::error_code writeAtomically(std::string_view bytes, const fs::path& target) {
  const fs::path directory = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  if (const auto error = createPrivateDirectory(directory)) return error;
  return AtomicFileWriter::replace(target, bytes, 0600);
}

std::error_code appendDurably(std::string_view line, const fs::path& file) {
  FileDescriptor journal(
      ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
  if (!journal.valid()) return lastError();
  struct stat info {};
  if (::fstat(journal.get(), &info) != 0) return lastError();
  if (!S_ISREG(info.st_mode)) return std::make_error_code(std::errc::invalid_argument);
  if (const auto error = restrictPermissions(journal.get(), fs::perms::owner_read | fs::perms::owner_write)) {
    return error;
  }
  if (const auto error = PosixFile::writeAll(journal.get(), line)) return error;
  if (::fsync(journal.get()) != 0) return lastError();
  return journal.close();
}

std::error_code createDurably(const fs::path& file) {
  FileDescriptor created(::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
  if (!created.valid()) return lastError();
  if (::fsync(created.get()) != 0) return lastError();
  if (const auto error = created.close()) return error;
  const fs::path directory = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  const FileDescriptor folder(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid() || ::fsync(folder.get()) != 0) return lastError();
  return {};
}

void removeStaleTemporaries(const fs::path& target) {
  const fs::path directory = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  // Appended, not "." + name: GCC 12 at -O3 warns falsely about the prepending operator+.
  std::string prefix = ".";
  prefix += target.filename().string();
  prefix += '.';
  constexpr std::size_t kUuidLength = 36;
  std::error_code error;
  for (fs::directory_iterator it(directory, error); !error && it != fs::directory_iterator(); it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.size() != prefix.size() + kUuidLength + 4 || !name.starts_with(prefix) || !name.ends_with(".tmp")) {
      continue;
    }
    const std::string_view uuid = std::string_view(name).substr(prefix.size(), kUuidLength);
    const bool ours = std::all_of(uuid.begin(), uuid.end(),
                                  [&](char c) { return std::isxdigit(static_cast<unsigned char>(c)) || c == '-'; });
    std::error_code ignored;
    if (ours && it->symlink_status(ignored).type() == fs::file_type::regular) fs::remove(it->path(), ignored);
  }
}

fs::path backupPath(const fs::path& file, TimePoint now) {
  long long stamp = wholeSeconds(now);
  for (;;) {
    fs::path candidate = file;
    candidate += ".corrupt-" + std::to_string(stamp);
    std::error_code error;
    // A name that cannot even be looked up is returned as well: the move then fails on it.
    if (!itemExists(candidate, error) || error) return candidate;
    if (stamp == std::numeric_limits<long long>::max()) return candidate;
    ++stamp;
  }
}

std::error_code quarantine(const fs::path& file, TimePoint now, int maxBackups) {
  const fs::path backup = backupPath(file, now);
  if (::rename(file.c_str(), backup.c_str()) != 0) return lastError();
  restrictPermissions(backup, fs::perms::owner_read | fs::perms::owner_write);
  const auto backups = corruptBackups(file);
  const std::size_t keep = static_cast<std::size_t>(std::max(0, maxBackups));
  for (std::size_t i = 0; i + keep < backups.size(); ++i) {
    std::error_code ignored;
    fs::remove(backups[i], ignored);
  }
  return {};
}

std::vector<fs::path> corruptBackups(const fs::path& file, std::error_code* listError) {
  const fs::path directory = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  const std::string prefix = backupPrefix(file);
  std::vector<std::pair<long long, std::string>> found;
  std::error_code error;
  fs::directory_iterator it(directory, error);
  if (error) {
    const bool missing = error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory;
    if (listError && !missing) *listError = error;
    return {};
  }
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0) {
      found.emplace_back(parseStamp<long long>(std::string_view(name).substr(prefix.size())), name);
    }
  }
  if (error && listError) *listError = error;
  // Name order first so that equal stamps come out the same on every run.
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<fs::path> paths;
  paths.reserve(found.size());
  for (const auto& [stamp, name] : found) paths.push_back(directory / name);
  return paths;
}

void maintainBackups(const fs::path& file, TimePoint now, double retention, double futureTolerance) {
  const std::string prefix = backupPrefix(file);
  const double seconds = toEpochSeconds(now);
  for (const auto& backup : corruptBackups(file)) {
    const double stamp = parseStamp<double>(backup.filename().string().substr(prefix.size()));
    std::error_code ignored;
    if (stamp < seconds - retention || stamp > seconds + futureTolerance) {
      fs::remove(backup, ignored);
    } else {
      restrictPermissions(backup, fs::perms::owner_read | fs::perms::owner_write);
    }
  }
}

}  // namespace HistoryFile
