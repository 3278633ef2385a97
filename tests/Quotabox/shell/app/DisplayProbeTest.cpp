#include <gtest/gtest.h>

#include <QLocalServer>
#include <QTemporaryDir>
#include <map>

#include "app/DisplayProbe.h"

namespace {
using Variables = std::map<std::string, QByteArray>;

DisplayProbe::Environment environmentOf(const Variables& variables) {
  return [variables](const char* name) { return variables.count(name) ? variables.at(name) : QByteArray(); };
}

// Only ":0" and "/run/user/1000/wayland-0" answer.
const DisplayProbe::Probes kFakeProbes{
    [](const QByteArray& display) { return display == ":0"; },
    [](const QString& socket) { return socket == QStringLiteral("/run/user/1000/wayland-0"); },
};
}  // namespace

TEST(DisplayProbe, KeepsOnlyThePlatformsWhoseDisplayAnswers) {
  const QByteArray runtime = "/run/user/1000";
  const std::pair<Variables, QByteArray> cases[] = {
      {{{"DISPLAY", ":0"}}, "xcb"},
      {{{"DISPLAY", ":9"}}, ""},
      // Qt looks at Wayland first in a Wayland session and falls back to X11.
      {{{"XDG_SESSION_TYPE", "wayland"}, {"XDG_RUNTIME_DIR", runtime}, {"DISPLAY", ":0"}}, "wayland;xcb"},
      {{{"XDG_SESSION_TYPE", "wayland"}, {"XDG_RUNTIME_DIR", runtime}, {"WAYLAND_DISPLAY", "wayland-1"}}, ""},
      {{{"XDG_SESSION_TYPE", "wayland"}, {"WAYLAND_DISPLAY", "wayland-1"}, {"DISPLAY", ":0"}}, "xcb"},
      // ...except under GNOME, and outside a Wayland session.
      {{{"XDG_SESSION_TYPE", "wayland"}, {"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}, {"XDG_RUNTIME_DIR", runtime}}, ""},
      {{{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_RUNTIME_DIR", runtime}}, ""},
      {{{"QT_QPA_PLATFORM", "wayland"}, {"XDG_RUNTIME_DIR", runtime}}, "wayland"},
      {{{"QT_QPA_PLATFORM", "wayland;xcb:nomitshm"}, {"DISPLAY", ":0"}}, "xcb:nomitshm"},
      // Off-screen platforms show no tray; platforms this probe does not know are Qt's business.
      {{{"QT_QPA_PLATFORM", "offscreen;xcb"}, {"DISPLAY", ":0"}}, "xcb"},
      {{{"QT_QPA_PLATFORM", "vnc"}}, "vnc"},
  };
  for (const auto& [variables, expected] : cases) {
    std::string trace;
    for (const auto& [name, value] : variables) trace += name + "=" + value.toStdString() + " ";
    EXPECT_EQ(DisplayProbe::usablePlatforms(environmentOf(variables), kFakeProbes), expected) << trace;
  }
}

TEST(DisplayProbe, WaylandSocketFollowsTheRuntimeFolderAndRefusesRelativeOnes) {
  EXPECT_EQ(DisplayProbe::waylandSocketPath("", "/run/user/5"), "/run/user/5/wayland-0");
  EXPECT_EQ(DisplayProbe::waylandSocketPath("wayland-2", "/run/user/5"), "/run/user/5/wayland-2");
  EXPECT_EQ(DisplayProbe::waylandSocketPath("/tmp/compositor", ""), "/tmp/compositor");
  EXPECT_EQ(DisplayProbe::waylandSocketPath("wayland-2", "relative/run"), "");
}

// The X11 probe is exercised by the launcher's runs against an unreachable display.
TEST(DisplayProbe, TheWaylandProbeConnectsOnlyToListeningSockets) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString socket = folder.filePath(QStringLiteral("wayland-test"));
  EXPECT_FALSE(DisplayProbe::canConnectWayland(socket));
  QLocalServer compositor;
  ASSERT_TRUE(compositor.listen(socket));
  EXPECT_TRUE(DisplayProbe::canConnectWayland(socket));
  EXPECT_FALSE(DisplayProbe::canConnectWayland(folder.filePath(QStringLiteral("x")).repeated(40)));
}
