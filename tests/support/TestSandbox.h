#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

// A fresh HOME and XDG folders for one test; restores the environment afterwards.
// Variables that point the program at user data (CODEX_HOME, CLAUDE_CONFIG_DIR,
// QUOTABOX_CLAUDE_USAGE_URL, APPIMAGE) are cleared.
class TestSandbox {
 public:
  TestSandbox();
  ~TestSandbox();
  TestSandbox(const TestSandbox&) = delete;
  TestSandbox& operator=(const TestSandbox&) = delete;

  std::filesystem::path home() const;
  std::filesystem::path path(const std::string& relative) const { return home() / relative; }
  // Writes a file (creating folders) and returns its path.
  std::filesystem::path writeFile(const std::string& relative, const QByteArray& bytes) const;

  // Sets an environment variable for the rest of the test (restored on destruction).
  void setEnv(const char* name, const QByteArray& value);
  void unsetEnv(const char* name);

 private:
  void remember(const char* name);

  QTemporaryDir m_dir;
  std::map<std::string, std::optional<QByteArray>> m_saved;
};

// Base fixture: every test gets its own sandbox.
class SandboxedTest : public ::testing::Test {
 protected:
  TestSandbox sandbox;
};

// Permission bits of a file or folder; 0xFFFF when it does not exist.
unsigned modeOf(const std::filesystem::path& path);
unsigned modeOf(const QString& path);

// Reads a file of tests/fixtures.
QByteArray fixture(const std::string& name);

// A file's bytes; empty when it cannot be read.
std::string readText(const std::filesystem::path& path);
