#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QString>

namespace AtomicFileWriter {
// Replaces the file at `path` with `bytes`: a temporary file in the same folder, fsync, rename,
// then fsync of the folder, so a crash leaves either the old or the new file. The file gets
// `permissions`. Throws std::system_error naming the path; the temporary file never stays behind.
void write(const QString& path, const QByteArray& bytes, mode_t permissions);
}  // namespace AtomicFileWriter
