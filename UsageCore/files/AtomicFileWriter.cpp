#include "files/AtomicFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <string>
#include <system_error>

namespace {
[[noreturn]] void fail(int error, const std::string& what, const QString& path) {
  throw std::system_error(error, std::generic_category(), what + " " + path.toStdString());
}

bool writeAll(int fd, const QByteArray& bytes) {
  const char* data = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    left -= written;
  }
  return true;
}
}  // namespace

void AtomicFileWriter::write(const QString& path, const QByteArray& bytes, mode_t permissions) {
  const QByteArray target = QFile::encodeName(path);
  QByteArray temp = target + ".tmp-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) fail(errno, "cannot create a temporary file for", path);

  int error = 0;
  if (::fchmod(fd, permissions) != 0 || !writeAll(fd, bytes) || ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.constData(), target.constData()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.constData());
    fail(error, "cannot write", path);
  }

  // The rename is durable only once the folder itself is on disk.
  const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
  const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}
