#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "LoginAgentFile.h"
#include "TestSandbox.h"

namespace {
class LoginAgentFileTest : public SandboxedTest {
 protected:
  LoginAgentFile agent = LoginAgentFile::standard();

  QString makeBundle(const std::string& relative) {
    const auto executable = sandbox.writeFile(relative + "/Contents/MacOS/Quotabox", "#!/bin/sh\n");
    QFile::setPermissions(QString::fromStdString(executable.string()),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return QString::fromStdString(sandbox.path(relative).string());
  }

  // Writes our own agent text with one substitution applied.
  void writeEdited(const QString& app, const QByteArray& from, const QByteArray& to) {
    QByteArray text = LoginAgentFile::format(app);
    ASSERT_TRUE(text.contains(from)) << from.toStdString();
    text.replace(from, to);
    sandbox.writeFile("Library/LaunchAgents/com.orrisfen.Quotabox.login.plist", text);
  }

  mode_t modeOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    return info.st_mode & 07777;
  }
};
}  // namespace

TEST_F(LoginAgentFileTest, WritesAPrivateAgentThatMatchesItsBundle) {
  const QString app = makeBundle("Applications/Quotabox.app");
  EXPECT_FALSE(agent.matches(app));
  agent.write(app);

  EXPECT_EQ(agent.filePath(),
            QString::fromStdString(sandbox.path("Library/LaunchAgents/com.orrisfen.Quotabox.login.plist").string()));
  EXPECT_EQ(modeOf(agent.directory), 0700u);
  EXPECT_EQ(modeOf(agent.filePath()), 0600u);
  EXPECT_TRUE(agent.matches(app));

  QFile file(agent.filePath());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray text = file.readAll();
  EXPECT_TRUE(text.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
  EXPECT_TRUE(text.contains("<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\""));
  EXPECT_TRUE(text.contains("<plist version=\"1.0\">"));
  EXPECT_TRUE(text.contains("<string>/usr/bin/open</string>"));

  // Rewriting replaces the file in place and leaves no temporary file behind.
  agent.write(app);
  EXPECT_EQ(QDir(agent.directory).entryList(QDir::Files | QDir::Hidden),
            QStringList{"com.orrisfen.Quotabox.login.plist"});
}

TEST_F(LoginAgentFileTest, PathsWithMarkupCharactersRoundTrip) {
  const QString app = makeBundle("Apps & <Tools>/Quo\"ta'box.app");
  agent.write(app);
  EXPECT_TRUE(agent.matches(app));
  EXPECT_FALSE(agent.matches(makeBundle("Apps/Quotabox.app")));
}

TEST_F(LoginAgentFileTest, OnlyTheExactAgentCounts) {
  const QString app = makeBundle("Applications/Quotabox.app");
  const QByteArray appPath = app.toUtf8();
  struct Case {
    const char* name;
    QByteArray from;
    QByteArray to;
  };
  const Case cases[] = {
      {"RunAtLoad false", "<true/>", "<false/>"},
      {"RunAtLoad as a string", "<true/>", "<string>true</string>"},
      {"a fourth argument", "<string>" + appPath + "</string>",
       "<string>" + appPath + "</string><string>--open</string>"},
      {"another label", "<string>com.orrisfen.Quotabox.login</string>", "<string>com.example.other</string>"},
      {"another session type", "<string>Aqua</string>", "<string>Background</string>"},
      {"no -g", "<string>-g</string>", "<string>-a</string>"},
      {"a missing key", "<key>LimitLoadToSessionType</key>", "<key>Other</key>"},
      {"a duplicated key", "<key>RunAtLoad</key>", "<key>Label</key><string>x</string><key>RunAtLoad</key>"},
      {"broken markup", "</dict>", "</dic>"},
      {"an array root", "<dict>", "<array><dict>"},
  };
  for (const Case& c : cases) {
    writeEdited(app, c.from, c.to);
    EXPECT_FALSE(agent.matches(app)) << c.name;
  }
  // Unknown extra keys or value types do not matter.
  writeEdited(app, "<key>RunAtLoad</key>", "<key>KeepAlive</key><integer>1</integer><key>RunAtLoad</key>");
  EXPECT_TRUE(agent.matches(app));

  sandbox.writeFile("Library/LaunchAgents/com.orrisfen.Quotabox.login.plist", "bplist00\x01\x02");
  EXPECT_FALSE(agent.matches(app));
}

TEST_F(LoginAgentFileTest, MatchingNeedsTheBundleExecutable) {
  const QString app = makeBundle("Applications/Quotabox.app");
  agent.write(app);
  ASSERT_TRUE(QFile::setPermissions(app + "/Contents/MacOS/Quotabox", QFile::ReadOwner | QFile::WriteOwner));
  EXPECT_FALSE(agent.matches(app));
}

TEST_F(LoginAgentFileTest, RemoveIsQuietWhenNothingIsThereAndReportsFailures) {
  EXPECT_NO_THROW(agent.remove());
  const QString app = makeBundle("Applications/Quotabox.app");
  agent.write(app);
  agent.remove();
  EXPECT_FALSE(QFile::exists(agent.filePath()));

  // A folder in the file's place cannot be unlinked.
  QDir().mkpath(agent.filePath());
  EXPECT_THROW(agent.remove(), std::system_error);
}

TEST_F(LoginAgentFileTest, WriteFailureIsThrown) {
  sandbox.writeFile("Library", "a file where the folder should be");
  EXPECT_THROW(agent.write(makeBundle("Applications/Quotabox.app")), std::system_error);
}
