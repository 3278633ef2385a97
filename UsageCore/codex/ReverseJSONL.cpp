#include "codex/ReverseJSONL.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ReverseJSONL {
namespace {

ReadError ioError(const char* what, const std::filesystem::path& path, int error) {
  return ReadError(std::string(what) + " " + path.string() + ": " + std::strerror(error));
}

class PosixFile final : public File {
 public:
  PosixFile(int fd, std::uint64_t size, const std::filesystem::path& shown) : m_fd(fd), m_size(size), m_shown(shown) {}
  ~PosixFile() override { ::close(m_fd); }  // close errors do not matter for a reader

  std::uint64_t size() override { return m_size; }

  std::size_t readAt(std::uint64_t offset, char* into, std::size_t count) override {
    std::size_t done = 0;
    while (done < count) {
      const ssize_t got = ::pread(m_fd, into + done, count - done, static_cast<off_t>(offset + done));
      if (got < 0) {
        if (errno == EINTR) continue;
        throw ioError("cannot read", m_shown, errno);
      }
      if (got == 0) break;  // the file got shorter meanwhile
      done += static_cast<std::size_t>(got);
    }
    return done;
  }

 private:
  int m_fd;
  std::uint64_t m_size;
  const std::filesystem::path& m_shown;  // only for messages; outlives the file
};

// A copy of the path for files opened by path alone.
class OwnedPathFile final : public File {
 public:
  OwnedPathFile(std::filesystem::path path, int folder) : m_path(std::move(path)) {
    m_file = openAt(folder, m_path.c_str(), m_path);
  }
  std::uint64_t size() override { return m_file->size(); }
  std::size_t readAt(std::uint64_t offset, char* into, std::size_t count) override {
    return m_file->readAt(offset, into, count);
  }

 private:
  std::filesystem::path m_path;
  std::unique_ptr<File> m_file;
};

}  // namespace

std::unique_ptr<File> openAt(int folder, const char* name, const std::filesystem::path& shown) {
  int fd;
  do {
    fd = ::openat(folder, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) throw ioError("cannot open", shown, errno);
  // The type is checked on what was opened: the listing's answer may be stale by now.
  struct stat info;
  const bool known = ::fstat(fd, &info) == 0;
  if (!known || !S_ISREG(info.st_mode)) {
    const int error = known ? EINVAL : errno;
    ::close(fd);
    throw ioError("cannot read", shown, error);
  }
  // Reads are positioned, so the non-blocking flag never matters for a regular file.
  return std::make_unique<PosixFile>(fd, static_cast<std::uint64_t>(std::max<off_t>(info.st_size, 0)), shown);
}

std::unique_ptr<File> openFile(const std::filesystem::path& path) {
  return std::make_unique<OwnedPathFile>(path, AT_FDCWD);
}

char* Buffers::block(std::size_t size) {
  if (size > m_blockSize) {
    // Not zeroed: most files are done after the first small read.
    m_block = std::make_unique_for_overwrite<char[]>(size);
    m_blockSize = size;
  }
  return m_block.get();
}

void Buffers::prepend(const char* bytes, std::size_t count) {
  if (count == 0) return;
  if (count > m_begin) makeRoom(count);
  m_begin -= count;
  std::memcpy(m_storage.data() + m_begin, bytes, count);
}

void Buffers::makeRoom(std::size_t count) {
  const std::size_t length = m_end - m_begin;
  if (length + count <= m_storage.size()) {
    // Enough room once the pending bytes move back to the end: growing here instead would double
    // the storage for every few blocks of a file with short lines.
    std::memmove(m_storage.data() + m_storage.size() - length, m_storage.data() + m_begin, length);
  } else {
    const std::size_t capacity = std::max(m_storage.size() * 2, length + count);
    std::vector<char> next(capacity);
    if (length > 0) std::memcpy(next.data() + capacity - length, m_storage.data() + m_begin, length);
    m_storage = std::move(next);
  }
  m_begin = m_storage.size() - length;
  m_end = m_storage.size();
}

bool visitLines(File& file, std::size_t chunkSize, std::size_t maximumLine,
                const std::function<bool(std::string_view)>& visit, std::stop_token stop, Buffers& buffers,
                std::size_t firstChunk) {
  std::uint64_t remaining = file.size();
  const std::size_t largest = std::max<std::size_t>(chunkSize, 1);
  std::size_t step = std::clamp<std::size_t>(firstChunk, 1, largest);
  // The first read starts on a multiple of the step at least a quarter step before the end, so
  // with a page-sized step it and every later read cover whole pages but the file's last one.
  const std::uint64_t least = std::max<std::size_t>(step / 4, 1);
  std::size_t count =
      static_cast<std::size_t>(remaining > least ? remaining - (remaining - least) / step * step : remaining);
  char* const block =
      buffers.block(std::max(count, static_cast<std::size_t>(std::min<std::uint64_t>(largest, remaining))));
  buffers.clear();  // after splitting, the carry alone
  bool skipping = false;

  const auto readPrevious = [&] {
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, remaining));
    step = std::min(step * 2, largest);
    remaining -= count;
    const std::string_view bytes(block, file.readAt(remaining, block, count));
    count = step;
    return bytes;
  };

  while (remaining > 0) {
    if (stop.stop_requested()) throw Cancelled();
    std::string_view bytes = readPrevious();

    if (skipping) {
      // The line being assembled is too long: drop everything up to the newline before it.
      std::size_t newline;
      while ((newline = bytes.rfind('\n')) == std::string_view::npos) {
        if (remaining == 0) return false;
        if (stop.stop_requested()) throw Cancelled();
        bytes = readPrevious();
      }
      bytes = bytes.substr(0, newline + 1);
      skipping = false;
    }

    // With nothing carried, the lines are read where they were read to: most files end there.
    const bool inPlace = buffers.pending().empty();
    if (!inPlace) buffers.prepend(bytes.data(), bytes.size());
    const std::string_view all = inPlace ? bytes : buffers.pending();
    std::size_t end = all.size();
    // Only the new block can hold newlines: the carry behind it is the start of one line.
    // Every piece after a newline is a whole line; the first may continue further back.
    std::size_t newline = bytes.empty() ? std::string_view::npos : all.rfind('\n', bytes.size() - 1);
    while (newline != std::string_view::npos) {
      const std::size_t start = newline + 1;
      const std::size_t length = end - start;
      if (length > 0 && length <= maximumLine && visit(all.substr(start, length))) return true;
      end = newline;
      newline = newline == 0 ? std::string_view::npos : all.rfind('\n', newline - 1);
    }
    if (end > maximumLine) {
      buffers.clear();
      skipping = true;
    } else if (inPlace) {
      buffers.prepend(all.data(), end);  // before the next read overwrites it
    } else {
      buffers.truncate(end);
    }
  }

  const std::string_view carry = buffers.pending();
  if (skipping || carry.empty()) return false;
  return visit(carry);
}

bool visitLines(const std::filesystem::path& path, std::size_t chunkSize, std::size_t maximumLine,
                const std::function<bool(std::string_view)>& visit, std::stop_token stop, const Opener& open,
                std::size_t firstChunk) {
  const std::unique_ptr<File> file = open(path);
  Buffers buffers;
  return visitLines(*file, chunkSize, maximumLine, visit, std::move(stop), buffers, firstChunk);
}

}  // namespace ReverseJSONL
