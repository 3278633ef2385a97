#include <gtest/gtest.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "EventLoop.h"
#include "platform/PanelColorScheme.h"
#include "tray/TrayHost.h"

namespace trayhost_test {

void writeFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

}  // namespace trayhost_test

using namespace trayhost_test;

TEST(TrayHostTest, TheWatchersProcessNameTellsTheHost) {
  EXPECT_EQ(TrayHosts::fromProcessName(QStringLiteral("waybar\n")), TrayHost::waybar);
  EXPECT_EQ(TrayHosts::fromProcessName(QStringLiteral("kded5")), TrayHost::plasma);
  EXPECT_EQ(TrayHosts::fromProcessName(QStringLiteral("plasmashell")), TrayHost::plasma);
  EXPECT_EQ(TrayHosts::fromProcessName(QStringLiteral("gnome-shell")), TrayHost::gnome);
  EXPECT_EQ(TrayHosts::fromProcessName(QStringLiteral("waybar-wrapped")), TrayHost::unknown);
  EXPECT_EQ(TrayHosts::fromProcessName(QString()), TrayHost::unknown);
  EXPECT_TRUE(TrayHosts::keepsAspect(TrayHost::waybar));
  EXPECT_FALSE(TrayHosts::keepsAspect(TrayHost::plasma));
  EXPECT_FALSE(TrayHosts::keepsAspect(TrayHost::unknown));

  // A stand-in /proc: the comm file of a pid, a pid without one, and a FIFO that must not block.
  QTemporaryDir proc;
  writeFile(proc.filePath(QStringLiteral("4242/comm")), "waybar\n");
  QDir().mkpath(proc.filePath(QStringLiteral("77")));
  QDir().mkpath(proc.filePath(QStringLiteral("88")));
  ASSERT_EQ(mkfifo(proc.filePath(QStringLiteral("88/comm")).toLocal8Bit().constData(), 0600), 0);
  EXPECT_EQ(TrayHosts::processName(4242, proc.path()), QStringLiteral("waybar"));
  EXPECT_EQ(TrayHosts::processName(77, proc.path()), QString());
  EXPECT_EQ(TrayHosts::processName(88, proc.path()), QString());
  EXPECT_EQ(TrayHosts::processName(0, proc.path()), QString());

  // Through the bus: our own connection's process is this test, an unknown host.
  QObject context;
  std::optional<TrayHost> probed;
  const QDBusConnection bus = QDBusConnection::sessionBus();
  ASSERT_TRUE(bus.isConnected());
  writeFile(proc.filePath(QStringLiteral("%1/comm").arg(getpid())), "kded5\n");
  TrayHosts::probe(
      bus, bus.baseService(), &context, [&](TrayHost host) { probed = host; }, proc.path());
  ASSERT_TRUE(waitUntil([&] { return probed.has_value(); }));
  EXPECT_EQ(*probed, TrayHost::plasma);
  probed.reset();
  TrayHosts::probe(
      bus, QStringLiteral("org.example.Nobody"), &context, [&](TrayHost host) { probed = host; }, proc.path());
  ASSERT_TRUE(waitUntil([&] { return probed.has_value(); }));
  EXPECT_EQ(*probed, TrayHost::unknown);
}

TEST(PanelColorSchemeFallbackTest, PlasmaWithoutAPortalReadsItsColourScheme) {
  using Value = std::optional<bool>;
  EXPECT_EQ(PanelColorScheme::darkFromKdeGlobals("[Colors:Window]\nBackgroundNormal=239,240,241\n"), Value(false));
  EXPECT_EQ(PanelColorScheme::darkFromKdeGlobals("[Colors:View]\nBackgroundNormal=255,255,255\n"
                                                 "[Colors:Window]\r\nBackgroundNormal = 32,35,38\r\n"),
            Value(true));
  // The window colour wins over a scheme's name; the name alone still counts.
  EXPECT_EQ(PanelColorScheme::darkFromKdeGlobals("[General]\nColorScheme=BreezeDark\n[Colors:Window]\n"
                                                 "BackgroundNormal=250,250,250\n"),
            Value(false));
  EXPECT_EQ(PanelColorScheme::darkFromKdeGlobals("[General]\nColorScheme=BreezeDark\n"), Value(true));
  EXPECT_EQ(PanelColorScheme::darkFromKdeGlobals("[Colors:Window]\nBackgroundNormal=dark\n"), Value());
  EXPECT_EQ(PanelColorScheme::darkFromKdeGlobals(""), Value());

  QTemporaryDir config;
  const QString kdeglobals = config.filePath(QStringLiteral("kdeglobals"));
  // Plasma without a file is Breeze, light; with a dark scheme, dark; other desktops stay dark.
  EXPECT_FALSE((PanelColorScheme::Fallback{true, kdeglobals}.dark()));
  writeFile(kdeglobals, "[Colors:Window]\nBackgroundNormal=49,54,59\n");
  EXPECT_TRUE((PanelColorScheme::Fallback{true, kdeglobals}.dark()));
  writeFile(kdeglobals, "[Colors:Window]\nBackgroundNormal=239,240,241\n");
  EXPECT_TRUE((PanelColorScheme::Fallback{false, kdeglobals}.dark()));

  // No portal answers: the fallback holds from the start.
  PanelColorScheme plasma(QDBusConnection::sessionBus(), QStringLiteral("org.example.NoPortal"),
                          PanelColorScheme::Fallback{true, kdeglobals});
  EXPECT_FALSE(plasma.isDark());
  spinFor(std::chrono::milliseconds(100));
  EXPECT_FALSE(plasma.isDark());
}
