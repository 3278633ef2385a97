#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include "LoginItem.h"
#include "LoginItemError.h"
#include "TestSandbox.h"
#include "XdgAutostart.h"

namespace {
class XdgAutostartTest : public SandboxedTest {
 protected:
  QString executable = QString::fromStdString(sandbox.path("bin/quotabox").string());
  XdgAutostart autostart{executable, XdgAutostart::defaultDirectory()};

  void writeEntry(const QByteArray& text) {
    sandbox.writeFile(".config/autostart/com.orrisfen.Quotabox.desktop", text);
  }
};
}  // namespace

TEST_F(XdgAutostartTest, EntryLivesInTheConfigAutostartFolder) {
  EXPECT_EQ(autostart.entryPath(),
            QString::fromStdString(sandbox.path(".config/autostart/com.orrisfen.Quotabox.desktop").string()));
  sandbox.setEnv("XDG_CONFIG_HOME", "relative/config");
  EXPECT_EQ(XdgAutostart::defaultDirectory(), QString::fromStdString(sandbox.path(".config/autostart").string()));
  sandbox.setEnv("XDG_CONFIG_HOME", "/srv/config");
  EXPECT_EQ(XdgAutostart::defaultDirectory(), QStringLiteral("/srv/config/autostart"));
}

TEST_F(XdgAutostartTest, RegisterWritesAnEntryThatReadsBackAsEnabled) {
  EXPECT_EQ(autostart.status(), LoginItemStatus::notRegistered);
  autostart.registerApp();
  EXPECT_EQ(autostart.status(), LoginItemStatus::enabled);

  QFile file(autostart.entryPath());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray text = file.readAll();
  EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
  EXPECT_TRUE(text.contains("\nType=Application\n"));
  EXPECT_TRUE(text.contains("\nExec=" + executable.toUtf8() + "\n"));
  EXPECT_EQ(QDir(XdgAutostart::defaultDirectory()).entryList(QDir::Files | QDir::Hidden).size(), 1);

  autostart.unregisterApp();
  EXPECT_FALSE(QFile::exists(autostart.entryPath()));
  EXPECT_EQ(autostart.status(), LoginItemStatus::notRegistered);
  EXPECT_NO_THROW(autostart.unregisterApp());
}

TEST_F(XdgAutostartTest, AwkwardExecutablePathsRoundTrip) {
  for (const QString& path : {QStringLiteral("/opt/My Apps/quotabox"), QStringLiteral("/opt/q\"uo$ta`box\\bin"),
                              QStringLiteral("/opt/100%/quotabox"), QStringLiteral("/opt/tab\there/quotabox"),
                              QStringLiteral("/opt/사용량/quotabox")}) {
    XdgAutostart other(path, XdgAutostart::defaultDirectory());
    other.registerApp();
    EXPECT_EQ(other.status(), LoginItemStatus::enabled) << path.toStdString();
    EXPECT_EQ(autostart.status(), LoginItemStatus::notRegistered) << path.toStdString();
  }
  EXPECT_EQ(XdgAutostart::quoteExecArgument(QStringLiteral("/opt/My Apps/q")), QStringLiteral("\"/opt/My Apps/q\""));
  EXPECT_EQ(XdgAutostart::splitExec(QStringLiteral("\"/a b/c\" --open %U")),
            (QStringList{QStringLiteral("/a b/c"), QStringLiteral("--open"), QStringLiteral("%U")}));
  EXPECT_EQ(XdgAutostart::splitExec(QStringLiteral("\"/unterminated")), std::nullopt);
}

TEST_F(XdgAutostartTest, DisabledOrForeignEntriesDoNotCount) {
  const QByteArray exec = "Exec=" + executable.toUtf8() + "\n";
  writeEntry("[Desktop Entry]\nType=Application\n" + exec);
  EXPECT_EQ(autostart.status(), LoginItemStatus::enabled);

  // Extra arguments added by the user still start this executable.
  writeEntry("[Desktop Entry]\nExec=" + executable.toUtf8() + " --open\n");
  EXPECT_EQ(autostart.status(), LoginItemStatus::enabled);

  const QByteArray notOurs[] = {
      "[Desktop Entry]\nHidden=true\n" + exec,
      "[Desktop Entry]\n" + exec + "X-GNOME-Autostart-enabled=false\n",
      "[Desktop Entry]\nExec=/usr/local/bin/quotabox\n",
      "[Desktop Entry]\nExec=" + executable.toUtf8() + "-old\n",
      "[Desktop Entry]\nExec=quotabox\n",
      "[Desktop Entry]\nType=Application\n",
      "[Desktop Action open]\n" + exec,
      "\"unterminated\n",
  };
  for (const QByteArray& text : notOurs) {
    writeEntry(text);
    EXPECT_EQ(autostart.status(), LoginItemStatus::notRegistered) << text.toStdString();
  }

  // Registering again replaces whatever was there.
  autostart.registerApp();
  EXPECT_EQ(autostart.status(), LoginItemStatus::enabled);
}

TEST_F(XdgAutostartTest, FailuresCarryCodesThatDoNotMeanApproval) {
  sandbox.writeFile(".config/autostart", "a file where the folder should be");
  try {
    autostart.registerApp();
    ADD_FAILURE() << "registering into a file succeeded";
  } catch (const LoginItemServiceError& error) {
    EXPECT_EQ(error.code(), XdgAutostart::writeFailed);
  }

  QFile::remove(QString::fromStdString(sandbox.path(".config/autostart").string()));
  QDir().mkpath(autostart.entryPath());
  try {
    autostart.unregisterApp();
    ADD_FAILURE() << "removing a folder in the entry's place succeeded";
  } catch (const LoginItemServiceError& error) {
    EXPECT_EQ(error.code(), XdgAutostart::removeFailed);
  }
}

TEST_F(XdgAutostartTest, RunningExecutablePrefersTheAppImage) {
  EXPECT_EQ(XdgAutostart::runningExecutable(), QCoreApplication::applicationFilePath());
  sandbox.setEnv("APPIMAGE", "/home/user/Apps/Quotabox-x86_64.AppImage");
  EXPECT_EQ(XdgAutostart::runningExecutable(), QStringLiteral("/home/user/Apps/Quotabox-x86_64.AppImage"));
}

TEST_F(XdgAutostartTest, LoginItemTurnsTheEntryOnAndOff) {
  // The platform set names this test binary, a real executable.
  EXPECT_FALSE(LoginItem::isEnabled());
  LoginItem::setEnabled(true);
  EXPECT_TRUE(LoginItem::isEnabled());
  EXPECT_TRUE(QFile::exists(XdgAutostart::defaultDirectory() + "/com.orrisfen.Quotabox.desktop"));
  LoginItem::setEnabled(false);
  EXPECT_FALSE(LoginItem::isEnabled());
  EXPECT_FALSE(QFile::exists(XdgAutostart::defaultDirectory() + "/com.orrisfen.Quotabox.desktop"));

  sandbox.setEnv("APPIMAGE", "/nonexistent/Quotabox.AppImage");
  EXPECT_THROW(LoginItem::setEnabled(true), LoginItemError);
}
