#include "files/PrivateFolder.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <cerrno>

namespace PrivateFolder {
std::error_code create(const QString& path) {
  const QString folder = QDir::cleanPath(QDir(path).absolutePath());
  const QByteArray native = QFile::encodeName(folder);
  struct stat info {};
  if (::stat(native.constData(), &info) == 0) {
    return S_ISDIR(info.st_mode) ? std::error_code() : std::make_error_code(std::errc::not_a_directory);
  }
  if (errno != ENOENT) return {errno, std::generic_category()};
  const qsizetype slash = folder.lastIndexOf(u'/');
  if (slash > 0) {
    if (const auto error = create(folder.left(slash))) return error;
  }
  if (::mkdir(native.constData(), 0700) != 0) {
    // Another process may have made it meanwhile; then it is not ours to change.
    return errno == EEXIST ? std::error_code() : std::error_code(errno, std::generic_category());
  }
  // mkdir applies the umask, which could take even the owner's bits away.
  if (::chmod(native.constData(), 0700) != 0) return {errno, std::generic_category()};
  return {};
}
}  // namespace PrivateFolder
