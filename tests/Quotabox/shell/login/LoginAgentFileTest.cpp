#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>

#include "TestSandbox.h"
#include "login/LoginAgentFile.h"

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
};
}  // namespace

TEST_F(LoginAgentFileTest, WritesAPrivateAgentThatOnlyItsExactTextAndBundleMatchAndThrowsFailures) {
  EXPECT_NO_THROW(agent.remove());
  const QString app = makeBundle("Apps & <Tools>/Quo\"ta'box.app");
  EXPECT_FALSE(agent.matches(app));
  agent.write(app);
  EXPECT_EQ(modeOf(agent.directory), 0700u);
  EXPECT_EQ(modeOf(agent.filePath()), 0600u);
  EXPECT_TRUE(agent.matches(app));
  EXPECT_FALSE(agent.matches(makeBundle("Apps/Quotabox.app")));

  // Our own text with one substitution: a wrong value or type, an extra argument, a repeated key or broken
  // structure; unknown extra keys do not matter.
  const std::tuple<QByteArray, QByteArray, bool> cases[] = {
      {"<true/>", "<string>true</string>", false},
      {"</array>", "<string>--open</string></array>", false},
      {"<key>RunAtLoad</key>", "<key>Label</key><string>x</string><key>RunAtLoad</key>", false},
      {"</dict>", "</dic>", false},
      {"<key>RunAtLoad</key>", "<key>KeepAlive</key><integer>1</integer><key>RunAtLoad</key>", true},
  };
  for (const auto& [from, to, matches] : cases) {
    QByteArray text = LoginAgentFile::format(app);
    ASSERT_TRUE(text.contains(from)) << from.toStdString();
    sandbox.writeFile("Library/LaunchAgents/com.orrisfen.Quotabox.login.plist", text.replace(from, to));
    EXPECT_EQ(agent.matches(app), matches) << to.toStdString();
  }

  // A bundle whose executable is gone cannot be opened.
  agent.write(app);
  ASSERT_TRUE(QFile::setPermissions(app + "/Contents/MacOS/Quotabox", QFile::ReadOwner | QFile::WriteOwner));
  EXPECT_FALSE(agent.matches(app));

  agent.remove();
  ASSERT_TRUE(QDir().mkpath(agent.filePath()));  // a folder in the file's place can be neither replaced nor unlinked
  EXPECT_THROW(agent.remove(), std::system_error);
  EXPECT_THROW(agent.write(app), std::system_error);
}
