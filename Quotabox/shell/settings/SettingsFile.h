#pragma once

#include <QByteArray>
#include <QVariant>
#include <QVariantMap>
#include <nlohmann/json.hpp>
#include <optional>

// The JSON form of a settings domain: one object of typed values. Booleans, integers, doubles,
// strings, bytes ({"$bytes": "<base64>"}), lists and maps read back with the type they were
// written with.
namespace SettingsFile {

// Our values nest a level or two; a file nested deeper is not ours.
constexpr int kMaxDepth = 16;
// The domain files hold a few hundred bytes.
constexpr qsizetype kMaxBytes = 1024 * 1024;

// No value for a value the file cannot hold (other types; NaN or infinity).
std::optional<nlohmann::json> toJson(const QVariant& value);
QVariant fromJson(const nlohmann::json& value);

// The keys of a domain file; no value when it is not a JSON object, too large or nested deeper
// than kMaxDepth. Keys holding null are left out.
std::optional<QVariantMap> parse(const QByteArray& bytes);
QByteArray encode(const QVariantMap& values);

}  // namespace SettingsFile
