#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <nlohmann/json.hpp>

// Output files of the non-interactive modes, readable only by the user.
namespace ReportFile {
// Creates the folder (0700) when missing. Throws std::system_error.
void ensureDirectory(const QString& path);
// Pretty-printed with sorted keys and a final newline. Throws std::system_error.
void writeJson(const QString& path, const nlohmann::json& json);
// Throws std::runtime_error when the image cannot be encoded, std::system_error when not written.
void writePng(const QString& path, const QImage& image);
}  // namespace ReportFile
