#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>

#include "BuildPaths.h"
#include "EventLoop.h"
#include "HttpTestServer.h"
#include "TestSandbox.h"

using namespace std::chrono_literals;

// The tray run ends promptly on SIGTERM while its Claude request hangs on a silent server.
TEST(QuitTest, TerminationDoesNotWaitForAStalledRequest) {
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    GTEST_SKIP() << "the tray run needs a graphical session";
  }
  TestSandbox sandbox;
  HttpTestServer server;
  HttpTestResponse stall;
  stall.mode = HttpTestResponse::Mode::stall;
  server.respondWith(stall);
  sandbox.setEnv("QUOTABOX_CLAUDE_USAGE_URL", server.url("/api/oauth/usage").toUtf8());
  sandbox.writeFile(".claude/.credentials.json", R"({"claudeAiOauth":{"accessToken":"t"}})");

  QProcess tray;
  tray.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  // The tests' own offscreen platform would turn the tray run into a report.
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
  tray.setProcessEnvironment(environment);
  tray.start(BuildPaths::launcher(), {});
  ASSERT_TRUE(waitUntil([&] { return !server.requests().empty() || tray.state() == QProcess::NotRunning; }, 20s));
  ASSERT_EQ(tray.state(), QProcess::Running) << tray.readAllStandardOutput().toStdString();

  const auto terminated = std::chrono::steady_clock::now();
  tray.terminate();
  // The request itself would hold on for 10 s (the idle timeout).
  EXPECT_TRUE(waitUntil([&] { return tray.state() == QProcess::NotRunning; }, 5s));
  EXPECT_LT(std::chrono::steady_clock::now() - terminated, 3s);
  EXPECT_EQ(tray.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(tray.exitCode(), 0);
  if (tray.state() != QProcess::NotRunning) {
    tray.kill();
    tray.waitForFinished();
  }
}
