#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>

#include "TestSandbox.h"
#include "login/LoginItemError.h"
#include "platform/SystemLoginItem.h"
#include "platform/XdgAutostart.h"
#include "settings/SettingsDomain.h"

namespace {
class XdgAutostartTest : public SandboxedTest {
 protected:
  QString executable = QString::fromStdString(sandbox.path("bin/quotabox").string());
  XdgAutostart autostart{executable, XdgAutostart::defaultDirectory()};
  std::shared_ptr<LoginItemControlling> system = SystemLoginItem::make();
};
}  // namespace

// Another local user must not be able to plant an entry or read the settings. A relative config
// home is ignored.
TEST_F(XdgAutostartTest, FoldersAndFilesWeCreateArePrivateWhateverTheUmask) {
  sandbox.setEnv("XDG_CONFIG_HOME", "relative/config");
  const QString config = QString::fromStdString(sandbox.path(".config").string());
  EXPECT_EQ(XdgAutostart::defaultDirectory(), config + "/autostart");
  EXPECT_EQ(SettingsDomain::standard()->filePath(), config + "/Quotabox/com.orrisfen.Quotabox.json");
  const mode_t previous = ::umask(0);
  system->setEnabled(true);
  SettingsDomain::standard()->setValue("showTrends", false);
  ::umask(previous);
  for (const QString& folder : {config, config + "/autostart", config + "/Quotabox"}) {
    EXPECT_EQ(modeOf(folder), 0700u) << folder.toStdString();
  }
  EXPECT_EQ(modeOf(config + "/autostart/com.orrisfen.Quotabox.desktop"), 0600u);
  EXPECT_EQ(modeOf(SettingsDomain::standard()->filePath()), 0600u);

  // A folder that was there keeps its mode.
  QDir(config + "/autostart").removeRecursively();
  ASSERT_TRUE(QDir().mkpath(config + "/autostart"));
  ASSERT_EQ(::chmod(QFile::encodeName(config + "/autostart").constData(), 0755), 0);
  system->setEnabled(true);
  EXPECT_EQ(modeOf(config + "/autostart"), 0755u);
}

TEST_F(XdgAutostartTest, RegisteringAndUnregisteringRoundTripForAwkwardPaths) {
  // Desktops launch only entries of this type.
  EXPECT_TRUE(XdgAutostart::entryText(executable).contains("\nType=Application\n"));
  for (const QString& path :
       {executable, QStringLiteral("/opt/My Apps/quotabox"), QStringLiteral("/opt/q\"uo$ta`box\\bin"),
        QStringLiteral("/opt/100%/quotabox"), QStringLiteral("/opt/tab\there/quotabox")}) {
    SCOPED_TRACE(path.toStdString());
    XdgAutostart entry(path, XdgAutostart::defaultDirectory());
    entry.registerApp();
    EXPECT_EQ(entry.status(), LoginItemStatus::enabled);
    entry.unregisterApp();
    EXPECT_FALSE(QFile::exists(entry.entryPath()));
    EXPECT_NO_THROW(entry.unregisterApp());
  }
}

TEST_F(XdgAutostartTest, DisabledOrForeignEntriesDoNotCount) {
  const QByteArray exec = "Exec=" + executable.toUtf8();
  const std::pair<QByteArray, LoginItemStatus> cases[] = {
      // Extra arguments added by the user still start this executable.
      {"[Desktop Entry]\n" + exec + " --open\n", LoginItemStatus::enabled},
      {"[Desktop Entry]\nHidden=true\n" + exec + "\n", LoginItemStatus::notRegistered},
      {"[Desktop Entry]\n" + exec + "\nX-GNOME-Autostart-enabled=false\n", LoginItemStatus::notRegistered},
      {"[Desktop Entry]\n" + exec + "-old\n", LoginItemStatus::notRegistered},
      {"[Desktop Action open]\n" + exec + "\n", LoginItemStatus::notRegistered},
      {"[Desktop Entry]\nExec=\"" + executable.toUtf8() + "\n", LoginItemStatus::notRegistered},
  };
  for (const auto& [text, expected] : cases) {
    sandbox.writeFile(".config/autostart/com.orrisfen.Quotabox.desktop", text);
    EXPECT_EQ(autostart.status(), expected) << text.toStdString();
  }
  // Registering again replaces whatever was there.
  autostart.registerApp();
  EXPECT_EQ(autostart.status(), LoginItemStatus::enabled);
}

TEST_F(XdgAutostartTest, FailuresCarryCodesThatDoNotMeanApproval) {
  using ::testing::Property;
  using ::testing::Throws;
  sandbox.writeFile(".config/autostart", "a file where the folder should be");
  EXPECT_THAT([&] { autostart.registerApp(); },
              Throws<LoginItemServiceError>(Property(&LoginItemServiceError::code, XdgAutostart::writeFailed)));
  QFile::remove(QString::fromStdString(sandbox.path(".config/autostart").string()));
  QDir().mkpath(autostart.entryPath());
  EXPECT_THAT([&] { autostart.unregisterApp(); },
              Throws<LoginItemServiceError>(Property(&LoginItemServiceError::code, XdgAutostart::removeFailed)));
}

TEST_F(XdgAutostartTest, LoginItemTakesOverAnotherCopysEntryAndRemovesIt) {
  // The platform set names this test binary, a real executable.
  XdgAutostart otherCopy(QStringLiteral("/opt/other/quotabox"), XdgAutostart::defaultDirectory());
  otherCopy.registerApp();
  EXPECT_FALSE(system->isEnabled());
  system->setEnabled(true);
  EXPECT_TRUE(system->isEnabled());
  EXPECT_EQ(otherCopy.status(), LoginItemStatus::notRegistered);
  system->setEnabled(false);
  EXPECT_FALSE(QFile::exists(otherCopy.entryPath()));

  // An AppImage is what gets registered, so a missing one cannot be.
  sandbox.setEnv("APPIMAGE", "/nonexistent/Quotabox.AppImage");
  EXPECT_THROW(system->setEnabled(true), LoginItemError);
}
