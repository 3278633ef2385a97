#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <nlohmann/json.hpp>

#include "EventLoop.h"
#include "HttpTestServer.h"
#include "PrivateBus.h"
#include "ProgramRunner.h"
#include "TestSandbox.h"
#include "app/DesktopHandOff.h"
#include "app/QuotaboxApp.h"
#include "app/TerminalRun.h"
#include "platform/XdgAutostart.h"
#include "scenarios/StaleMockProvider.h"
#include "store/UsageStore.h"

namespace {

using Environment = ProgramRunner::Environment;
const QString kLauncher = BuildPaths::launcher();

// `arguments` are split at spaces and follow the program path.
LaunchOptions parse(const QString& arguments) {
  return LaunchOptions::parse(QStringList{"/usr/bin/quotabox"} + arguments.split(u' ', Qt::SkipEmptyParts));
}
std::string source(const QString& arguments) { return parse(arguments).source.scenarioName().value_or("live"); }

class QuotaboxAppTest : public SandboxedTest {
 protected:
  QString inHome(const std::string& relative) const { return QString::fromStdString(sandbox.path(relative).string()); }
  ProgramRunner programs;
};

}  // namespace

TEST(LaunchOptions, SourcesValuesFlagsModesAndProviders) {
  // Each --mock-* option reaches its scenario in the view and report cases.
  EXPECT_EQ(source("--mock"), "normal");
  // The option tested later wins, wherever it stands.
  EXPECT_EQ(source("--mock-high --mock"), "high");
  // A snapshot turns only the live source into the normal mock; verification keeps it live.
  EXPECT_EQ(source("--snapshot /tmp/s"), "normal");
  EXPECT_EQ(source("--verify-system /tmp/v"), "live");

  const auto options = parse("--snapshot /tmp/a --snapshot /tmp/b --verify-system --open --json");
  EXPECT_EQ(options.snapshotDir, "/tmp/a");  // the first occurrence
  // A value may look like an option; that option still counts by its presence.
  EXPECT_EQ(options.verificationDir, "--open");
  EXPECT_TRUE(options.openPopover && options.jsonReport);
  EXPECT_FALSE(options.printReport || options.help || options.version || options.appearance);
  // An option given last has no value; dark only for exactly "dark".
  EXPECT_FALSE(parse("--mock-stale --snapshot").snapshotDir || parse("--appearance").appearance);
  EXPECT_EQ(parse("--appearance dark").appearance, "dark");
  EXPECT_EQ(parse("--appearance --appearance dark").appearance, "light");
  // Special modes take precedence over opening the popover.
  using Action = QuotaboxApp::LaunchAction;
  EXPECT_EQ(QuotaboxApp::launchAction(parse("--open --snapshot")), Action::openPopover);
  EXPECT_EQ(QuotaboxApp::launchAction(parse("--snapshot /tmp/s --verify-system /tmp/v")), Action::verification);
  // A source builds its providers in service order.
  const auto providers = parse("--mock-stale").makeStore()->providers();
  ASSERT_EQ(providers.size(), 2u);
  EXPECT_TRUE(providers[0]->service() == ServiceID::claude &&
              dynamic_cast<const StaleMockProvider*>(providers[1].get()));
}

// The login item names the path the desktop program was started under, which is the launcher's.
TEST(QuotaboxLauncher, TheLoginItemNamesTheLauncher) {
  const QString desktop = DesktopHandOff::desktopExecutable(kLauncher);
  EXPECT_EQ(XdgAutostart::runningExecutable({}, kLauncher, desktop), kLauncher);
  EXPECT_EQ(XdgAutostart::runningExecutable("/tmp/Quotabox.AppImage", kLauncher, desktop), "/tmp/Quotabox.AppImage");
  // A bare name, or a path to nothing runnable, is not trusted.
  EXPECT_EQ(XdgAutostart::runningExecutable({}, "quotabox", desktop), desktop);
  EXPECT_EQ(XdgAutostart::runningExecutable({}, QDir::tempPath(), desktop), desktop);
}

// Without a reachable display, also with Qt's own options given, the command falls back to the text
// report and says why on standard error.
TEST_F(QuotaboxAppTest, TerminalModesAndTheFallbackReportWithoutADisplay) {
  const QString unset = QStringLiteral("DISPLAY가 설정되어 있지 않아요");
  const QString refused = QStringLiteral("DISPLAY의 X 서버(:77)에 연결할 수 없어요");
  const std::tuple<QStringList, Environment, QString> cases[] = {
      {{"-platform", "nope", "-display", ":9"}, {}, unset},
      {{}, {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":77"}}, refused},
  };
  for (const auto& [arguments, environment, cause] : cases) {
    const QByteArray notice = TerminalRun::noGraphicalSessionLine(cause).toUtf8();
    const ProgramResult result = programs.run(arguments, environment);
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(result.out.startsWith("구독 사용량\n") && result.out.count("로그인되어 있지 않아요") == 2);
    EXPECT_TRUE(result.err.endsWith(notice) && !result.out.contains(notice)) << result.err.toStdString();
  }
  EXPECT_FALSE(QDirIterator(inHome(""), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories).hasNext())
      << "the report wrote a file";

  // The special modes never pass the report off as their result.
  const ProgramResult verification = programs.run({"--verify-system", inHome("checks")});
  EXPECT_EQ(verification.exitCode, 2);
  EXPECT_TRUE(verification.out.isEmpty() && !QDir(inHome("checks")).exists());
  EXPECT_EQ(verification.err, TerminalRun::verificationNeedsDisplayLine().toUtf8());
  // Snapshots render off screen; Qt never sees its own options, which would pick a platform or abort.
  const ProgramResult headless = programs.run({"--snapshot", inHome("shots"), "-platform", "nope", "-display", ":9"});
  EXPECT_EQ(headless.exitCode, 0);
  EXPECT_EQ(headless.out, "스냅샷 저장 위치: " + QDir(inHome("shots")).absolutePath().toUtf8() + "\n");
  EXPECT_TRUE(QFile::exists(inHome("shots") + "/popover-normal-light.png"));
}

// The exit status tells whether any service answered; demonstration data says so in both reports.
TEST_F(QuotaboxAppTest, ReportsMarkDemonstrationDataAndFailWhenEveryServiceFailed) {
  const std::tuple<QStringList, int, std::string> jsonCases[] = {
      {{"--json", "--mock-retained"}, 3, "mock:retained"},
      {{"--json", "--mock-signedout"}, 0, "mock:signedout"},
      {{"--json"}, 0, "live"},
  };
  for (const auto& [arguments, status, source] : jsonCases) {
    const ProgramResult result = programs.run(arguments);
    EXPECT_EQ(result.exitCode, status) << arguments.join(' ').toStdString();
    EXPECT_EQ(nlohmann::json::parse(result.out.toStdString())["source"], source);
  }
  const ProgramResult high = programs.run({"--mock-high", "--print"});
  EXPECT_TRUE(high.out.startsWith("예시 데이터(high)로 만든 보고서예요. 실제 사용량이 아니에요.\n구독 사용량\n"));
  EXPECT_TRUE(high.exitCode == 0 && high.out.contains("  5시간  88% 사용 · 12% 남음  [주의]"));
}

// The launcher asks Claude through the HTTP module it loads beside itself.
TEST_F(QuotaboxAppTest, LiveJsonReadsBothServicesAndLeavesTheHistoryAlone) {
  HttpTestServer server;
  server.respondWith(HttpTestResponse::json(200, fixture("claude-usage-with-limits.json")));
  sandbox.setEnv("QUOTABOX_CLAUDE_USAGE_URL", server.url("/api/oauth/usage").toUtf8());
  sandbox.setEnv("CLAUDE_CONFIG_DIR", inHome("claude").toUtf8());
  sandbox.writeFile("claude/.credentials.json", fixture("claude-credentials.json"));
  sandbox.writeFile(".codex/auth.json", fixture("codex-auth.json"));
  sandbox.writeFile(".codex/sessions/2026/09/01/rollout-2026-09-01T07-21-58-01a0.jsonl",
                    fixture("codex-rollout-recent.jsonl"));
  const QByteArray history = R"({"version":1,"entries":[]})";
  QFile kept(QString::fromStdString(sandbox.writeFile(".local/share/Quotabox/history.json", history).string()));
  const ProgramResult result = programs.run({"--json"});
  ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
  // Parsing is covered by the providers' tests; here both reach the report, and no token does.
  const auto report = nlohmann::json::parse(result.out.toStdString());
  EXPECT_EQ(report["services"][0]["windows"][0]["usedPercent"], 9.0);
  EXPECT_EQ(report["services"][1]["windows"][1]["usedPercent"], 56.0);
  EXPECT_FALSE(result.out.contains("REDACTED") || result.err.contains("REDACTED"));
  EXPECT_TRUE(kept.open(QIODevice::ReadOnly) && kept.readAll() == history);

  // A copy without the module or the desktop program: Claude is unreachable, Codex still reports, and
  // the reason names the file it missed; the desktop modes refuse to start, naming theirs.
  ASSERT_TRUE(QDir().mkpath(inHome("opt/bin")) && QFile::copy(kLauncher, inHome("opt/bin/quotabox")));
  const ProgramResult alone = programs.run({"--json"}, {}, inHome("opt/bin/quotabox"));
  ASSERT_EQ(alone.exitCode, 0) << alone.err.toStdString();
  const auto partial = nlohmann::json::parse(alone.out.toStdString());
  EXPECT_EQ(partial["services"][0]["message"], "Claude 사용량에 연결할 수 없어요. 네트워크를 확인하고 새로고침하세요");
  EXPECT_EQ(partial["services"][1]["windows"][1]["usedPercent"], 56.0);
  EXPECT_TRUE(alone.err.contains("/libexec/quotabox/quotabox-http.so") && !alone.err.contains("REDACTED"));
  EXPECT_EQ(server.requests().size(), 1u);
  const ProgramResult waybar = programs.run({"--waybar", "--mock"}, {}, inHome("opt/bin/quotabox"));
  const QString missing = QFileInfo(inHome("opt")).canonicalFilePath() + "/libexec/quotabox/quotabox-desktop";
  EXPECT_TRUE(waybar.exitCode == 2 && waybar.out.isEmpty()) << waybar.exitCode;
  EXPECT_TRUE(waybar.err.startsWith(DesktopHandOff::cannotStartLine(missing, {}).chopped(1).toUtf8()));
}

// The tray run ends promptly on SIGTERM while its Claude request hangs on a silent server.
TEST_F(QuotaboxAppTest, TrayTerminationDoesNotWaitForAStalledRequest) {
  if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "the tray run needs a graphical session";
  HttpTestServer server;
  HttpTestResponse stall;
  stall.mode = HttpTestResponse::Mode::stall;
  server.respondWith(stall);
  sandbox.setEnv("QUOTABOX_CLAUDE_USAGE_URL", server.url("/api/oauth/usage").toUtf8());
  sandbox.writeFile(".claude/.credentials.json", R"({"claudeAiOauth":{"accessToken":"t"}})");
  StartedProgram& tray = programs.start({}, ProgramRunner::display());
  ASSERT_TRUE(waitUntil([&] { return !server.requests().empty() || tray.ended(); }));
  ASSERT_FALSE(tray.ended()) << tray.err().toStdString();

  tray.process->terminate();
  // Well before the request itself would give up (10 s idle timeout).
  const ProgramResult ended = tray.finish(std::chrono::seconds(8));
  EXPECT_EQ(ended.exitCode, 0) << ended.err.toStdString();
}
