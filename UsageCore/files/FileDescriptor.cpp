#include "files/FileDescriptor.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) reset(std::exchange(other.m_fd, -1));
  return *this;
}

FileDescriptor::~FileDescriptor() { reset(); }

void FileDescriptor::reset(int fd) {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = fd;
}

std::error_code FileDescriptor::close() {
  const int fd = std::exchange(m_fd, -1);
  if (fd < 0) return {};
  return ::close(fd) == 0 ? std::error_code() : PosixFile::lastError();
}

namespace PosixFile {

std::error_code lastError() { return std::error_code(errno != 0 ? errno : EIO, std::generic_category()); }

std::error_code writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return lastError();
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return {};
}

}  // namespace PosixFile
