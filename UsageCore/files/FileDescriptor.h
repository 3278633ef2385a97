#pragma once

#include <string_view>
#include <system_error>

// Owns an open POSIX descriptor and closes it on every path out of a scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept;
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  ~FileDescriptor();
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return m_fd; }
  bool valid() const { return m_fd >= 0; }
  void reset(int fd = -1);
  // Closes now and reports the error a delayed write may surface at close.
  std::error_code close();

 private:
  int m_fd;
};

namespace PosixFile {
// errno as an error code; EIO when errno says nothing.
std::error_code lastError();
// Writes all of `bytes`, going on after short writes and interruptions.
std::error_code writeAll(int fd, std::string_view bytes);
}  // namespace PosixFile
