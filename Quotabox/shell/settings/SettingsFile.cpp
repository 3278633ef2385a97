#include "settings/SettingsFile.h"

#include <cmath>
#include <limits>

#include "model/BoundedJSON.h"

namespace SettingsFile {

using json = nlohmann::json;

namespace {
// Bytes have no JSON form of their own; they are written as {"$bytes": "<base64>"}.
const char* const kBytesMember = "$bytes";

}  // namespace

std::optional<json> toJson(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::Bool:
      return json(value.toBool());
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::LongLong:
      return json(static_cast<std::int64_t>(value.toLongLong()));
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
      return json(static_cast<std::uint64_t>(value.toULongLong()));
    case QMetaType::Double:
    case QMetaType::Float: {
      const double number = value.toDouble();
      if (!std::isfinite(number)) return std::nullopt;
      return json(number);
    }
    case QMetaType::QString:
      return json(value.toString().toStdString());
    case QMetaType::QByteArray:
      return json{{kBytesMember, value.toByteArray().toBase64().toStdString()}};
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
      json array = json::array();
      for (const QVariant& item : value.toList()) {
        auto converted = toJson(item);
        if (!converted) return std::nullopt;
        array.push_back(std::move(*converted));
      }
      return array;
    }
    case QMetaType::QVariantMap: {
      json object = json::object();
      const QVariantMap map = value.toMap();
      for (auto it = map.cbegin(); it != map.cend(); ++it) {
        auto converted = toJson(it.value());
        if (!converted) return std::nullopt;
        object[it.key().toStdString()] = std::move(*converted);
      }
      return object;
    }
    default:
      return std::nullopt;
  }
}

QVariant fromJson(const json& value) {
  switch (value.type()) {
    case json::value_t::boolean:
      return QVariant(value.get<bool>());
    case json::value_t::number_integer:
      return QVariant(static_cast<qlonglong>(value.get<std::int64_t>()));
    case json::value_t::number_unsigned: {
      const auto number = value.get<std::uint64_t>();
      if (number <= static_cast<std::uint64_t>(std::numeric_limits<qlonglong>::max())) {
        return QVariant(static_cast<qlonglong>(number));
      }
      return QVariant(static_cast<qulonglong>(number));
    }
    case json::value_t::number_float:
      return QVariant(value.get<double>());
    case json::value_t::string:
      return QVariant(QString::fromStdString(value.get<std::string>()));
    case json::value_t::array: {
      QVariantList list;
      for (const json& item : value) list.append(fromJson(item));
      return list;
    }
    case json::value_t::object: {
      if (value.size() == 1 && value.contains(kBytesMember) && value[kBytesMember].is_string()) {
        const auto decoded = QByteArray::fromBase64Encoding(
            QByteArray::fromStdString(value[kBytesMember].get<std::string>()), QByteArray::AbortOnBase64DecodingErrors);
        if (decoded) return QVariant(*decoded);
      }
      QVariantMap map;
      for (auto it = value.begin(); it != value.end(); ++it) {
        map.insert(QString::fromStdString(it.key()), fromJson(it.value()));
      }
      return map;
    }
    default:
      return QVariant();
  }
}

std::optional<QVariantMap> parse(const QByteArray& bytes) {
  if (bytes.size() > kMaxBytes) return std::nullopt;
  try {
    const json document = BoundedJSON::parse(bytes, kMaxDepth);
    if (!document.is_object()) return std::nullopt;
    QVariantMap map;
    for (auto it = document.begin(); it != document.end(); ++it) {
      QVariant value = fromJson(it.value());
      if (value.isValid()) map.insert(QString::fromStdString(it.key()), std::move(value));
    }
    return map;
  } catch (...) {
    // Malformed JSON and nesting past the limit alike.
    return std::nullopt;
  }
}

QByteArray encode(const QVariantMap& values) {
  json document = json::object();
  for (auto it = values.cbegin(); it != values.cend(); ++it) {
    if (auto converted = toJson(it.value())) document[it.key().toStdString()] = std::move(*converted);
  }
  return QByteArray::fromStdString(document.dump(2) + "\n");
}

}  // namespace SettingsFile
