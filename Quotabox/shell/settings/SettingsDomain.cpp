#include "settings/SettingsDomain.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>

#include "files/PrivateFolder.h"
#include "files/XdgPaths.h"

namespace {

using json = nlohmann::json;

// Bytes have no JSON form of their own; they are written as {"$bytes": "<base64>"}.
const char* const kBytesMember = "$bytes";

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

bool readJsonFile(QIODevice& device, QSettings::SettingsMap& map) {
  try {
    const json document = json::parse(device.readAll().toStdString());
    if (!document.is_object()) return false;
    for (auto it = document.begin(); it != document.end(); ++it) {
      QVariant value = fromJson(it.value());
      if (value.isValid()) map.insert(QString::fromStdString(it.key()), std::move(value));
    }
    return true;
  } catch (const json::exception&) {
    return false;
  }
}

bool writeJsonFile(QIODevice& device, const QSettings::SettingsMap& map) {
  json document = json::object();
  for (auto it = map.cbegin(); it != map.cend(); ++it) {
    // setValue() admits only convertible values; anything else would have come from elsewhere.
    if (auto converted = toJson(it.value())) document[it.key().toStdString()] = std::move(*converted);
  }
  const std::string text = document.dump(2) + "\n";
  return device.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
}

QSettings::Format jsonFormat() {
  static const QSettings::Format format = QSettings::registerFormat("json", readJsonFile, writeJsonFile);
  return format;
}

// Settings and notification state are the user's own: the file is created 0600 whatever the
// umask (QSettings would create it 0666 minus the umask and keeps the mode of an existing file).
void createPrivateFile(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return;  // there already, or not creatable: QSettings reports the latter
  static const char kEmptyDomain[] = "{}\n";
  [[maybe_unused]] const auto written = ::write(fd, kEmptyDomain, sizeof(kEmptyDomain) - 1);
  ::fchmod(fd, 0600);
  ::close(fd);
}

bool isUsableSuiteName(const QString& name) {
  if (name.isEmpty() || name.startsWith(u'.') || name == SettingsDomain::standardName) return false;
  for (const QChar c : name) {
    if (c == u'/' || c == u'\\' || c.category() == QChar::Other_Control) return false;
  }
  return true;
}

}  // namespace

const QString SettingsDomain::standardName = QStringLiteral("com.orrisfen.Quotabox");

QString SettingsDomain::directory() {
#if defined(Q_OS_MACOS)
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Quotabox");
#else
  return XdgPaths::configHome() + QStringLiteral("/Quotabox");
#endif
}

std::shared_ptr<SettingsDomain> SettingsDomain::standard() {
  return std::shared_ptr<SettingsDomain>(
      new SettingsDomain(standardName, directory() + u'/' + standardName + QStringLiteral(".json")));
}

std::shared_ptr<SettingsDomain> SettingsDomain::suite(const QString& name) {
  if (!isUsableSuiteName(name)) return nullptr;
  return std::shared_ptr<SettingsDomain>(new SettingsDomain(name, directory() + u'/' + name + QStringLiteral(".json")));
}

SettingsDomain::SettingsDomain(QString name, QString path) : m_name(std::move(name)), m_path(std::move(path)) {
  open();
  // A file we cannot parse would be replaced by the next write; keep it aside instead.
  if (m_settings->status() == QSettings::FormatError) {
    m_settings.reset();
    quarantineUnreadableFile();
    open();
  }
}

SettingsDomain::~SettingsDomain() = default;

void SettingsDomain::open() {
  m_settings = std::make_unique<QSettings>(m_path, jsonFormat());
  m_settings->setFallbacksEnabled(false);
}

void SettingsDomain::quarantineUnreadableFile() {
  const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmsszzz"));
  QString target = m_path + QStringLiteral(".corrupt-") + stamp;
  for (int attempt = 1; QFile::exists(target); ++attempt) {
    target = m_path + QStringLiteral(".corrupt-") + stamp + u'-' + QString::number(attempt);
  }
  QFile::rename(m_path, target);
}

QVariant SettingsDomain::value(const QString& key) const {
  std::lock_guard lock(m_mutex);
  return m_settings->value(key);
}

void SettingsDomain::setValue(const QString& key, const QVariant& value) {
  if (!value.isValid()) {
    remove(key);
    return;
  }
  if (key.isEmpty()) throw std::invalid_argument("settings key must not be empty");
  const auto converted = toJson(value);
  if (!converted) {
    throw std::invalid_argument(std::string("settings cannot store a value of type ") +
                                (value.typeName() ? value.typeName() : "unknown") + " under " + key.toStdString());
  }
  std::lock_guard lock(m_mutex);
  PrivateFolder::create(QFileInfo(m_path).absolutePath());
  createPrivateFile(m_path);
  // Stored as it will read back from the file, so this process sees the same types as the next.
  m_settings->setValue(key, fromJson(*converted));
  m_settings->sync();
}

void SettingsDomain::remove(const QString& key) {
  // QSettings reads an empty key as "every key".
  if (key.isEmpty()) return;
  std::lock_guard lock(m_mutex);
  if (!m_settings->contains(key)) return;
  m_settings->remove(key);
  m_settings->sync();
}

bool SettingsDomain::contains(const QString& key) const {
  if (key.isEmpty()) return false;
  std::lock_guard lock(m_mutex);
  return m_settings->contains(key);
}

void SettingsDomain::sync() {
  std::lock_guard lock(m_mutex);
  m_settings->sync();
}

void SettingsDomain::removePersistentDomain() {
  std::lock_guard lock(m_mutex);
  m_settings->clear();
  m_settings->sync();
  QFile::remove(m_path);
}
