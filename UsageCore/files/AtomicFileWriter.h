#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QString>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace AtomicFileWriter {
// Replaces the file at `target` with `bytes`: ".<name>.<uuid>.tmp" beside it, fsync, rename, then
// fsync of the folder, so a crash leaves either the old or the new file. The file gets exactly
// `permissions` whatever the umask; the temporary file never stays behind. The folder must exist.
std::error_code replace(const std::filesystem::path& target, std::string_view bytes, mode_t permissions);

// replace() that throws std::system_error naming the path.
void write(const QString& path, const QByteArray& bytes, mode_t permissions);
}  // namespace AtomicFileWriter
