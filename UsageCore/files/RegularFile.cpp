#include "files/RegularFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

using PosixFile::lastError;

std::optional<RegularFile> RegularFile::open(const std::filesystem::path& path, Links links, std::error_code& error) {
  error.clear();
  int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
  if (links == Links::refuse) flags |= O_NOFOLLOW;
  FileDescriptor fd;
  do {
    fd.reset(::open(path.c_str(), flags));
  } while (!fd.valid() && errno == EINTR);
  if (!fd.valid()) {
    error = lastError();
    return std::nullopt;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    error = lastError();
  } else if (!S_ISREG(info.st_mode)) {
    error = std::make_error_code(std::errc::invalid_argument);
  }
  if (error) return std::nullopt;
  return RegularFile(std::move(fd), info);
}

std::optional<std::string> RegularFile::read(const std::filesystem::path& path, std::uintmax_t limit,
                                             std::error_code& error, Links links) {
  auto file = open(path, links, error);
  return file ? file->readAll(limit, error) : std::nullopt;
}

std::optional<std::string> RegularFile::readAll(std::uintmax_t limit, std::error_code& error) {
  error.clear();
  if (static_cast<std::uintmax_t>(std::max<off_t>(m_info.st_size, 0)) > limit) {
    error = std::make_error_code(std::errc::file_too_large);
    return std::nullopt;
  }
  std::string content;
  content.reserve(static_cast<std::size_t>(m_info.st_size) + 1);
  char buffer[65536];
  for (;;) {
    const ssize_t count = ::read(m_fd.get(), buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR) continue;
      error = lastError();
      return std::nullopt;
    }
    if (count == 0) break;
    content.append(buffer, static_cast<std::size_t>(count));
    // The file may grow while it is read.
    if (content.size() > limit) {
      error = std::make_error_code(std::errc::file_too_large);
      return std::nullopt;
    }
  }
  return content;
}
