#include "files/AtomicFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QUuid>
#include <string>

#include "files/FileDescriptor.h"

namespace AtomicFileWriter {

std::error_code replace(const std::filesystem::path& target, std::string_view bytes, mode_t permissions) {
  const std::filesystem::path folder = target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
  const std::string uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
  const std::filesystem::path temporary = folder / ("." + target.filename().string() + "." + uuid + ".tmp");
  const auto discard = [&](std::error_code error) {
    ::unlink(temporary.c_str());
    return error;
  };

  FileDescriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!file.valid()) return PosixFile::lastError();
  // The umask may have taken bits away.
  if (::fchmod(file.get(), permissions) != 0) return discard(PosixFile::lastError());
  if (const auto error = PosixFile::writeAll(file.get(), bytes)) return discard(error);
  if (::fsync(file.get()) != 0) return discard(PosixFile::lastError());
  if (const auto error = file.close()) return discard(error);
  if (::rename(temporary.c_str(), target.c_str()) != 0) return discard(PosixFile::lastError());

  // The rename is durable only once the folder is on disk. Some file systems refuse fsync on
  // folders; the content is complete either way.
  const FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.valid()) ::fsync(directory.get());
  return {};
}

void write(const QString& path, const QByteArray& bytes, mode_t permissions) {
  const std::filesystem::path target(QFile::encodeName(path).toStdString());
  if (const auto error =
          replace(target, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), permissions)) {
    throw std::system_error(error, "cannot write " + path.toStdString());
  }
}

}  // namespace AtomicFileWriter
