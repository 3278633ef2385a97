#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <map>
#include <thread>

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
      {{{"DISPLAY", ":9"}}, ""},
      // Qt looks at Wayland first in a Wayland session and falls back to X11.
      {{{"XDG_SESSION_TYPE", "wayland"}, {"XDG_RUNTIME_DIR", runtime}, {"DISPLAY", ":0"}}, "wayland;xcb"},
      {{{"XDG_SESSION_TYPE", "wayland"}, {"XDG_RUNTIME_DIR", runtime}, {"WAYLAND_DISPLAY", "wayland-1"}}, ""},
      {{{"XDG_SESSION_TYPE", "wayland"}, {"WAYLAND_DISPLAY", "wayland-1"}, {"DISPLAY", ":0"}}, "xcb"},
      // ...except under GNOME.
      {{{"XDG_SESSION_TYPE", "wayland"}, {"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}, {"XDG_RUNTIME_DIR", runtime}}, ""},
      // A compositor started from a text console: its socket counts whatever the session type says.
      {{{"XDG_SESSION_TYPE", "tty"}, {"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_RUNTIME_DIR", runtime}}, "wayland"},
      {{{"XDG_SESSION_TYPE", "x11"}, {"XDG_RUNTIME_DIR", runtime}, {"DISPLAY", ":0"}}, "xcb"},
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

// The fallback line names what actually failed, not a generic pair of variables.
TEST(DisplayProbe, TheReasonNamesWhatFailed) {
  const std::pair<Variables, QString> cases[] = {
      {{}, "DISPLAY가 설정되어 있지 않아요"},
      {{{"DISPLAY", ":9"}}, "DISPLAY의 X 서버(:9)에 연결할 수 없어요"},
      {{{"XDG_SESSION_TYPE", "tty"}, {"WAYLAND_DISPLAY", "wayland-1"}, {"XDG_RUNTIME_DIR", "/run/user/1000"}},
       "Wayland 소켓(/run/user/1000/wayland-1)에 연결할 수 없어요, DISPLAY가 설정되어 있지 않아요"},
      {{{"WAYLAND_DISPLAY", "wayland-0"}},
       "XDG_RUNTIME_DIR이 없어 Wayland 소켓을 찾을 수 없어요, DISPLAY가 설정되어 있지 않아요"},
      {{{"QT_QPA_PLATFORM", "offscreen"}, {"DISPLAY", ":0"}}, "QT_QPA_PLATFORM의 offscreen은 화면을 띄우지 않아요"},
  };
  for (const auto& [variables, expected] : cases) {
    EXPECT_EQ(DisplayProbe::unusableReason(environmentOf(variables), kFakeProbes), expected);
  }
}

TEST(DisplayProbe, WaylandSocketFollowsTheRuntimeFolderAndRefusesRelativeOnes) {
  EXPECT_EQ(DisplayProbe::waylandSocketPath("", "/run/user/5"), "/run/user/5/wayland-0");
  EXPECT_EQ(DisplayProbe::waylandSocketPath("wayland-2", "/run/user/5"), "/run/user/5/wayland-2");
  EXPECT_EQ(DisplayProbe::waylandSocketPath("/tmp/compositor", ""), "/tmp/compositor");
  EXPECT_EQ(DisplayProbe::waylandSocketPath("wayland-2", "relative/run"), "");
}

// The X11 probe is exercised by the launcher's runs against an unreachable display.
TEST(DisplayProbe, TheWaylandProbeNeedsACompositorThatAnswers) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString socket = folder.filePath(QStringLiteral("wayland-test"));
  EXPECT_FALSE(DisplayProbe::canConnectWayland(socket));
  EXPECT_FALSE(DisplayProbe::canConnectWayland(folder.filePath(QStringLiteral("x")).repeated(40)));

  // Serves one connection on its own thread: answers the round trip as a compositor does, closes
  // without a word, or stays silent.
  enum class Peer { answers, closes, silent };
  const auto probeAgainst = [&](Peer peer) {
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(socket);
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    ::unlink(path.constData());
    EXPECT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(listener, 1), 0);
    std::thread compositor([&] {
      const int client = ::accept(listener, nullptr, nullptr);
      uint32_t request[3] = {};
      if (::recv(client, request, sizeof request, MSG_WAITALL) == sizeof request && peer == Peer::answers) {
        const uint32_t done[3] = {request[2], 12u << 16, 1};
        ::send(client, done, sizeof done, MSG_NOSIGNAL);
      }
      if (peer == Peer::silent) ::usleep(500 * 1000);
      ::close(client);
    });
    const bool connected = DisplayProbe::canConnectWayland(socket, 200);
    compositor.join();
    ::close(listener);
    return connected;
  };
  EXPECT_TRUE(probeAgainst(Peer::answers));
  EXPECT_FALSE(probeAgainst(Peer::closes));
  EXPECT_FALSE(probeAgainst(Peer::silent));
}
