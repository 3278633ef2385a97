#include "settings/SettingsDomain.h"

#include <sys/stat.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <tuple>
#include <utility>

#include "files/AtomicFileWriter.h"
#include "files/PrivateFolder.h"
#include "files/RegularFile.h"
#include "files/XdgPaths.h"
#include "settings/SettingsFile.h"

namespace {

// Identity, size and time of the file as last read; absent when there was none.
using FileStamp = std::optional<std::tuple<dev_t, ino_t, off_t, time_t, long>>;

FileStamp stampOf(const struct stat& info) {
#if defined(__APPLE__)
  const long nanoseconds = info.st_mtimespec.tv_nsec;
#else
  const long nanoseconds = info.st_mtim.tv_nsec;
#endif
  return std::tuple(info.st_dev, info.st_ino, info.st_size, info.st_mtime, nanoseconds);
}

std::filesystem::path nativePath(const QString& path) {
  return std::filesystem::path(QFile::encodeName(path).toStdString());
}

bool isUsableSuiteName(const QString& name) {
  if (name.isEmpty() || name.startsWith(u'.') || name == SettingsDomain::standardName) return false;
  for (const QChar c : name) {
    if (c == u'/' || c == u'\\' || c.category() == QChar::Other_Control) return false;
  }
  return true;
}

}  // namespace

struct SettingsDomain::Shared {
  explicit Shared(QString file) : path(std::move(file)) {}

  // Reads the file again when it changed since the last read. Caller holds the mutex.
  void refresh();
  void setAside();
  // Writes the values; the folder is made private first. Caller holds the mutex.
  void write();

  const QString path;
  std::mutex mutex;
  QVariantMap values;
  bool read = false;
  FileStamp seen;
  QString setAsidePath;
};

void SettingsDomain::Shared::refresh() {
  const auto native = nativePath(path);
  struct stat info {};
  if (::stat(native.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      values.clear();
      seen.reset();
      read = true;
    }
    return;
  }
  if (read && seen == stampOf(info)) return;
  std::error_code error;
  // Opened without blocking and checked on the descriptor: a pipe at the path never stalls a start.
  auto file = RegularFile::open(native, RegularFile::Links::follow, error);
  if (!file) {
    if (error == std::errc::invalid_argument) {
      setAside();
      read = true;
    }
    return;
  }
  // The user's own choices: like the history, nobody else may read them.
  const mode_t mode = file->info().st_mode & 07777;
  if ((mode & ~mode_t(0600)) != 0) ::fchmod(file->descriptor(), mode & 0600);
  const auto bytes = file->readAll(SettingsFile::kMaxBytes, error);
  std::optional<QVariantMap> parsed;
  if (bytes) parsed = SettingsFile::parse(QByteArray::fromStdString(*bytes));
  if (!bytes && error != std::errc::file_too_large) return;
  read = true;
  if (!parsed) {
    // The next write would replace it; keep it aside instead.
    setAside();
    return;
  }
  values = std::move(*parsed);
  seen = stampOf(file->info());
}

void SettingsDomain::Shared::setAside() {
  const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmsszzz"));
  QString target = path + QStringLiteral(".corrupt-") + stamp;
  for (int attempt = 1; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++attempt) {
    target = path + QStringLiteral(".corrupt-") + stamp + u'-' + QString::number(attempt);
  }
  if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(target).constData()) == 0) setAsidePath = target;
  values.clear();
  seen.reset();
}

void SettingsDomain::Shared::write() {
  // A file that exists but could not be read is never overwritten.
  if (!read) return;
  PrivateFolder::create(QFileInfo(path).absolutePath());
  // A linked file (kept with the user's dotfiles) is written where it points.
  const QFileInfo info(path);
  const QString target = info.isSymLink() && info.exists() ? info.canonicalFilePath() : path;
  const QByteArray bytes = SettingsFile::encode(values);
  if (AtomicFileWriter::replace(nativePath(target), std::string_view(bytes.constData(), bytes.size()), 0600)) return;
  struct stat written {};
  if (::stat(nativePath(path).c_str(), &written) == 0) seen = stampOf(written);
}

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

SettingsDomain::SettingsDomain(QString name, QString path)
    : m_name(std::move(name)), m_path(std::move(path)), m_shared(sharedFor(m_path)) {
  // A new instance sees what changed on disk since another one read the file.
  std::lock_guard lock(m_shared->mutex);
  m_shared->refresh();
}

SettingsDomain::~SettingsDomain() = default;

// Instances of one domain in this process share their values, as user defaults do.
std::shared_ptr<SettingsDomain::Shared> SettingsDomain::sharedFor(const QString& path) {
  static std::mutex registryMutex;
  static std::map<QString, std::weak_ptr<SettingsDomain::Shared>> registry;
  std::lock_guard lock(registryMutex);
  auto& slot = registry[path];
  auto shared = slot.lock();
  if (!shared) {
    shared = std::make_shared<SettingsDomain::Shared>(path);
    slot = shared;
  }
  return shared;
}

QString SettingsDomain::setAsidePath() const {
  std::lock_guard lock(m_shared->mutex);
  return m_shared->setAsidePath;
}

QString SettingsDomain::setAsideNotice() const {
  const QString path = setAsidePath();
  if (path.isEmpty()) return {};
  return QStringLiteral("설정 파일을 읽을 수 없어 기본 설정으로 시작했어요. 원래 파일은 여기로 옮겨 두었어요: %1\n")
      .arg(path);
}

QVariant SettingsDomain::value(const QString& key) const {
  std::lock_guard lock(m_shared->mutex);
  return m_shared->values.value(key);
}

void SettingsDomain::setValue(const QString& key, const QVariant& value) {
  if (!value.isValid()) {
    remove(key);
    return;
  }
  if (key.isEmpty()) throw std::invalid_argument("settings key must not be empty");
  const auto converted = SettingsFile::toJson(value);
  if (!converted) {
    throw std::invalid_argument(std::string("settings cannot store a value of type ") +
                                (value.typeName() ? value.typeName() : "unknown") + " under " + key.toStdString());
  }
  std::lock_guard lock(m_shared->mutex);
  // Keys another process wrote meanwhile are kept.
  m_shared->refresh();
  // Stored as it will read back from the file, so this process sees the same types as the next.
  m_shared->values.insert(key, SettingsFile::fromJson(*converted));
  m_shared->write();
}

void SettingsDomain::remove(const QString& key) {
  if (key.isEmpty()) return;
  std::lock_guard lock(m_shared->mutex);
  m_shared->refresh();
  if (m_shared->values.remove(key) == 0) return;
  m_shared->write();
}

bool SettingsDomain::contains(const QString& key) const {
  if (key.isEmpty()) return false;
  std::lock_guard lock(m_shared->mutex);
  return m_shared->values.contains(key);
}

void SettingsDomain::sync() {
  std::lock_guard lock(m_shared->mutex);
  m_shared->refresh();
}

void SettingsDomain::removePersistentDomain() {
  std::lock_guard lock(m_shared->mutex);
  m_shared->values.clear();
  m_shared->seen.reset();
  QFile::remove(m_path);
}
