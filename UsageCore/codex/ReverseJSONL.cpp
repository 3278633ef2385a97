#include "codex/ReverseJSONL.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace ReverseJSONL {
namespace {

ReadError ioError(const char* what, const std::filesystem::path& path) {
  return ReadError(std::string(what) + " " + path.string() + ": " + std::strerror(errno));
}

class PosixFile final : public File {
 public:
  PosixFile(int fd, std::filesystem::path path) : m_fd(fd), m_path(std::move(path)) {}
  ~PosixFile() override { ::close(m_fd); }  // close errors do not matter for a reader

  std::uint64_t size() override {
    const off_t end = ::lseek(m_fd, 0, SEEK_END);
    if (end < 0) throw ioError("cannot seek", m_path);
    return static_cast<std::uint64_t>(end);
  }

  std::size_t readAt(std::uint64_t offset, char* into, std::size_t count) override {
    std::size_t done = 0;
    while (done < count) {
      const ssize_t got = ::pread(m_fd, into + done, count - done, static_cast<off_t>(offset + done));
      if (got < 0) {
        if (errno == EINTR) continue;
        throw ioError("cannot read", m_path);
      }
      if (got == 0) break;  // the file got shorter meanwhile
      done += static_cast<std::size_t>(got);
    }
    return done;
  }

 private:
  int m_fd;
  std::filesystem::path m_path;
};

// Keeps its bytes at the back of the storage so that earlier parts of the file can be put in
// front without moving what is already there.
class FrontBuffer {
 public:
  void prepend(const char* bytes, std::size_t count) {
    if (count == 0) return;
    if (count > m_begin) grow(count);
    m_begin -= count;
    std::memcpy(m_storage.data() + m_begin, bytes, count);
  }
  // Keeps only the first `length` bytes.
  void truncate(std::size_t length) { m_end = m_begin + length; }
  void clear() { m_begin = m_end = m_storage.size(); }
  std::string_view view() const { return {m_storage.data() + m_begin, m_end - m_begin}; }

 private:
  void grow(std::size_t count) {
    const std::size_t length = m_end - m_begin;
    const std::size_t capacity = std::max(m_storage.size() * 2, length + count);
    std::vector<char> next(capacity);
    if (length > 0) std::memcpy(next.data() + capacity - length, m_storage.data() + m_begin, length);
    m_storage = std::move(next);
    m_begin = capacity - length;
    m_end = capacity;
  }

  std::vector<char> m_storage;
  std::size_t m_begin = 0;
  std::size_t m_end = 0;
};

}  // namespace

std::unique_ptr<File> openFile(const std::filesystem::path& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) throw ioError("cannot open", path);
  return std::make_unique<PosixFile>(fd, path);
}

bool visitLines(const std::filesystem::path& path, std::size_t chunkSize, std::size_t maximumLine,
                const std::function<bool(std::string_view)>& visit, std::stop_token stop, const Opener& open,
                std::size_t firstChunk) {
  const std::unique_ptr<File> file = open(path);
  std::uint64_t remaining = file->size();
  const std::size_t largest = std::max<std::size_t>(chunkSize, 1);
  std::size_t step = std::clamp<std::size_t>(firstChunk, 1, largest);
  // Not zeroed: most files are done after the first small read, so most of it is never touched.
  const auto block = std::make_unique_for_overwrite<char[]>(std::min<std::uint64_t>(largest, remaining));
  FrontBuffer pending;  // the block in front of the carry; after splitting, the carry alone
  bool skipping = false;

  const auto readPrevious = [&] {
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(step, remaining));
    step = std::min(step * 2, largest);
    remaining -= count;
    return std::string_view(block.get(), file->readAt(remaining, block.get(), count));
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

    pending.prepend(bytes.data(), bytes.size());
    const std::string_view all = pending.view();
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
      pending.clear();
      skipping = true;
    } else {
      pending.truncate(end);
    }
  }

  const std::string_view carry = pending.view();
  if (skipping || carry.empty()) return false;
  return visit(carry);
}

}  // namespace ReverseJSONL
