#include "snapshot/ReportFile.h"

#include <sys/stat.h>

#include <QBuffer>
#include <QDir>
#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "files/AtomicFileWriter.h"

namespace ReportFile {

void ensureDirectory(const QString& path) {
  const QByteArray native = QFile::encodeName(QDir::cleanPath(path));
  if (QDir(path).exists()) return;
  if (!QDir().mkpath(QDir::cleanPath(path + QStringLiteral("/..")))) {
    throw std::system_error(errno ? errno : EIO, std::generic_category(), native.toStdString());
  }
  if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
    throw std::system_error(errno, std::generic_category(), native.toStdString());
  }
}

void writeJson(const QString& path, const nlohmann::json& json) {
  // nlohmann's object keeps its keys sorted.
  const std::string text = json.dump(2) + "\n";
  AtomicFileWriter::write(path, QByteArray::fromStdString(text), 0600);
}

void writePng(const QString& path, const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (image.isNull() || !image.save(&buffer, "PNG")) throw std::runtime_error("PNG encoding failed");
  AtomicFileWriter::write(path, bytes, 0600);
}

}  // namespace ReportFile
