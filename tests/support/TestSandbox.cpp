#include "TestSandbox.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <cstdlib>

#include "BuildPaths.h"

namespace {
const char* const kCleared[] = {"CODEX_HOME", "CLAUDE_CONFIG_DIR", "QUOTABOX_CLAUDE_USAGE_URL", "APPIMAGE"};
}

TestSandbox::TestSandbox() : m_dir(QDir::tempPath() + "/quotabox-test-XXXXXX") {
  if (!m_dir.isValid()) throw std::runtime_error("cannot create a temporary folder");
  const QByteArray home = QFile::encodeName(m_dir.path());
  setEnv("HOME", home);
  setEnv("XDG_CONFIG_HOME", home + "/.config");
  setEnv("XDG_DATA_HOME", home + "/.local/share");
  setEnv("XDG_CACHE_HOME", home + "/.cache");
  setEnv("XDG_STATE_HOME", home + "/.local/state");
  for (const char* name : kCleared) unsetEnv(name);
}

TestSandbox::~TestSandbox() {
  for (const auto& [name, value] : m_saved) {
    if (value) {
      qputenv(name.c_str(), *value);
    } else {
      qunsetenv(name.c_str());
    }
  }
}

std::filesystem::path TestSandbox::home() const { return std::filesystem::path(m_dir.path().toStdString()); }

std::filesystem::path TestSandbox::writeFile(const std::string& relative, const QByteArray& bytes) const {
  const auto target = path(relative);
  std::filesystem::create_directories(target.parent_path());
  QFile file(QString::fromStdString(target.string()));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
    throw std::runtime_error("cannot write " + target.string());
  }
  return target;
}

void TestSandbox::remember(const char* name) {
  if (m_saved.count(name)) return;
  m_saved[name] = qEnvironmentVariableIsSet(name) ? std::optional<QByteArray>(qgetenv(name)) : std::nullopt;
}

void TestSandbox::setEnv(const char* name, const QByteArray& value) {
  remember(name);
  qputenv(name, value);
}

void TestSandbox::unsetEnv(const char* name) {
  remember(name);
  qunsetenv(name);
}

QByteArray fixture(const std::string& name) {
  QFile file(BuildPaths::fixtures() + "/" + QString::fromStdString(name));
  if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("missing fixture " + name);
  return file.readAll();
}

unsigned modeOf(const std::filesystem::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0xFFFF;
}

unsigned modeOf(const QString& path) { return modeOf(std::filesystem::path(QFile::encodeName(path).toStdString())); }

std::string readText(const std::filesystem::path& path) {
  QFile file(QString::fromStdString(path.string()));
  return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}
