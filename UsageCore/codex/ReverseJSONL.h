#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

// Reads a JSON-lines file from its end backwards and stops at the first line that yields a
// result. Memory stays bounded by one chunk plus one line of at most `maximumLine` bytes.
namespace ReverseJSONL {

inline constexpr std::size_t defaultChunkSize = 0x10000;  // 64 KiB
// The first read is this small and each further one twice the last, up to the chunk size: a log
// whose newest record sits near its end costs one small read.
inline constexpr std::size_t defaultFirstChunk = 0x1000;     // 4 KiB
inline constexpr std::size_t defaultMaximumLine = 0x200000;  // 2 MiB

// The calling task was cancelled while reading.
class Cancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "cancelled"; }
};

// The file could not be opened, positioned or read, or is not a regular file.
class ReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file opened for positioned reads; closed by its destructor.
class File {
 public:
  virtual ~File() = default;
  // Length in bytes when opened; throws ReadError.
  virtual std::uint64_t size() = 0;
  // Reads up to `count` bytes at `offset`; fewer only at the end of the file. Throws ReadError.
  virtual std::size_t readAt(std::uint64_t offset, char* into, std::size_t count) = 0;
};

// Opens a file; throws ReadError. Tests and benchmarks wrap it to observe the I/O.
using Opener = std::function<std::unique_ptr<File>(const std::filesystem::path&)>;

// Opens without blocking and without following a final symbolic link, and refuses anything that
// is not a regular file once opened: a pipe swapped in after a listing cannot stall the reader.
std::unique_ptr<File> openFile(const std::filesystem::path& path);
// The same for `name` (a path relative to the open folder); `shown` names the file in errors and
// must outlive it.
std::unique_ptr<File> openAt(int folder, const char* name, const std::filesystem::path& shown);

// The memory of a read, kept between files so that a scan of many logs allocates once. Holds at
// most one chunk plus one line whatever the size of the files.
class Buffers {
 public:
  // Puts `count` bytes in front of the pending ones.
  void prepend(const char* bytes, std::size_t count);
  // Keeps only the first `length` pending bytes.
  void truncate(std::size_t length) { m_end = m_begin + length; }
  void clear() { m_begin = m_end = m_storage.size(); }
  std::string_view pending() const { return {m_storage.data() + m_begin, m_end - m_begin}; }
  // Room for one read of `size` bytes.
  char* block(std::size_t size);

 private:
  void makeRoom(std::size_t count);

  // Pending bytes sit at the back, so earlier parts of the file go in front without moving them.
  std::vector<char> m_storage;
  std::size_t m_begin = 0;
  std::size_t m_end = 0;
  std::unique_ptr<char[]> m_block;
  std::size_t m_blockSize = 0;
};

// Offers the lines of an open file, last first, to `visit` until it returns true. Returns whether a
// line was accepted. Empty lines and lines longer than `maximumLine` are never offered.
// Throws ReadError on I/O failures and Cancelled when `stop` is requested before a chunk.
bool visitLines(File& file, std::size_t chunkSize, std::size_t maximumLine,
                const std::function<bool(std::string_view)>& visit, std::stop_token stop, Buffers& buffers,
                std::size_t firstChunk = defaultFirstChunk);

// The same for a file opened by `open`, with buffers of its own.
bool visitLines(const std::filesystem::path& path, std::size_t chunkSize, std::size_t maximumLine,
                const std::function<bool(std::string_view)>& visit, std::stop_token stop, const Opener& open = openFile,
                std::size_t firstChunk = defaultFirstChunk);

// The first value that `parse` gives, from the last line of the file towards the first.
template <typename Parse>
auto read(const std::filesystem::path& path, std::size_t chunkSize, std::size_t maximumLine, Parse&& parse,
          std::stop_token stop, const Opener& open = openFile) -> decltype(parse(std::string_view())) {
  decltype(parse(std::string_view())) result;
  visitLines(
      path, chunkSize, maximumLine,
      [&](std::string_view line) {
        result = parse(line);
        return result.has_value();
      },
      std::move(stop), open);
  return result;
}

}  // namespace ReverseJSONL
