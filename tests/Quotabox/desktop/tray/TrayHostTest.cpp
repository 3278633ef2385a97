#include <sys/stat.h>
#include <unistd.h>

#include <QDBusConnection>

#include "BusPeer.h"
#include "TestSandbox.h"
#include "platform/PanelColorScheme.h"
#include "tray/TrayHost.h"

namespace trayhost_test {
class TrayHostTest : public SandboxedTest {};
}  // namespace trayhost_test
using trayhost_test::TrayHostTest;

TEST_F(TrayHostTest, TheWatchersProcessNameTellsTheHost) {
  const std::pair<const char*, TrayHost> names[] = {
      {"waybar\n", TrayHost::waybar},   {"kded5", TrayHost::plasma},           {"plasmashell", TrayHost::plasma},
      {"gnome-shell", TrayHost::gnome}, {"waybar-wrapped", TrayHost::unknown}, {"", TrayHost::unknown}};
  for (const auto& [name, host] : names) EXPECT_EQ(TrayHosts::fromProcessName(QString::fromLatin1(name)), host) << name;

  // A stand-in /proc: the comm file of a pid, a pid without one, and a FIFO that must not block.
  const QString proc = QString::fromStdString(sandbox.path("proc").string());
  sandbox.writeFile("proc/4242/comm", "waybar\n");
  sandbox.writeFile("proc/77/status", "");
  ASSERT_EQ(mkfifo(sandbox.writeFile("proc/88/status", "").replace_filename("comm").c_str(), 0600), 0);
  EXPECT_EQ(TrayHosts::processName(4242, proc), QStringLiteral("waybar"));
  for (const qint64 pid : {77, 88, 0}) EXPECT_EQ(TrayHosts::processName(pid, proc), QString()) << pid;

  // Through the bus: our own connection's process, named kded5 here; a name nobody owns is unknown.
  const QDBusConnection bus = QDBusConnection::sessionBus();
  ASSERT_TRUE(bus.isConnected());
  sandbox.writeFile("proc/" + std::to_string(getpid()) + "/comm", "kded5\n");
  for (const auto& [service, expected] : {std::pair(bus.baseService(), TrayHost::plasma),
                                          std::pair(QStringLiteral("org.example.Nobody"), TrayHost::unknown)}) {
    QObject context;
    std::optional<TrayHost> probed;
    TrayHosts::probe(
        bus, service, &context, [&](TrayHost host) { probed = host; }, proc);
    ASSERT_TRUE(waitUntil([&] { return probed.has_value(); }));
    EXPECT_EQ(*probed, expected) << service.toStdString();
  }
}

TEST_F(TrayHostTest, PlasmaWithoutAPortalReadsItsColourScheme) {
  const std::pair<const char*, std::optional<bool>> files[] = {
      {"[Colors:Window]\nBackgroundNormal=239,240,241\n", false},
      {"[Colors:View]\nBackgroundNormal=255,255,255\n[Colors:Window]\r\nBackgroundNormal = 32,35,38\r\n", true},
      // The window colour wins over a scheme's name; the name alone still counts.
      {"[General]\nColorScheme=BreezeDark\n[Colors:Window]\nBackgroundNormal=250,250,250\n", false},
      {"[General]\nColorScheme=BreezeDark\n", true},
      {"[Colors:Window]\nBackgroundNormal=dark\n", std::nullopt},
      {"", std::nullopt}};
  for (const auto& [text, dark] : files) EXPECT_EQ(PanelColorScheme::darkFromKdeGlobals(text), dark) << text;

  // Plasma without a file is Breeze, light; with a dark scheme, dark; other desktops stay dark.
  const QString kdeglobals = QString::fromStdString(sandbox.path("kdeglobals").string());
  EXPECT_FALSE((PanelColorScheme::Fallback{true, kdeglobals}.dark()));
  sandbox.writeFile("kdeglobals", "[Colors:Window]\nBackgroundNormal=49,54,59\n");
  EXPECT_TRUE((PanelColorScheme::Fallback{true, kdeglobals}.dark()));
  sandbox.writeFile("kdeglobals", "[Colors:Window]\nBackgroundNormal=239,240,241\n");
  EXPECT_TRUE((PanelColorScheme::Fallback{false, kdeglobals}.dark()));

  // No portal answers: the fallback holds from the start and after the portal's silence.
  PanelColorScheme plasma(QDBusConnection::sessionBus(), QStringLiteral("org.example.NoPortal"),
                          PanelColorScheme::Fallback{true, kdeglobals});
  EXPECT_FALSE(plasma.isDark());
  busRoundTrip(QDBusConnection::sessionBus());
  EXPECT_FALSE(plasma.isDark());
}
