#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "files/FileDescriptor.h"

// A file opened for reading that is known to be a regular file. Opening never blocks (a pipe or a
// device at the path is refused, not waited on), and reading is capped, so whatever sits at a path
// from outside costs at most `limit` bytes.
class RegularFile {
 public:
  enum class Links { follow, refuse };

  // An error when nothing can be opened, when the item is not a regular file (EINVAL), or, with
  // Links::refuse, when the path itself is a symbolic link (ELOOP).
  static std::optional<RegularFile> open(const std::filesystem::path& path, Links links, std::error_code& error);
  // Whole content, or an error (EFBIG) once it passes `limit` bytes.
  static std::optional<std::string> read(const std::filesystem::path& path, std::uintmax_t limit,
                                         std::error_code& error, Links links = Links::follow);

  int descriptor() const { return m_fd.get(); }
  const struct stat& info() const { return m_info; }
  std::optional<std::string> readAll(std::uintmax_t limit, std::error_code& error);

 private:
  RegularFile(FileDescriptor fd, const struct stat& info) : m_fd(std::move(fd)), m_info(info) {}
  FileDescriptor m_fd;
  struct stat m_info;
};
