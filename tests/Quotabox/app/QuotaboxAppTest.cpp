#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <csignal>
#include <map>
#include <nlohmann/json.hpp>

#include "EventLoop.h"
#include "HttpTestServer.h"
#include "TestSandbox.h"
#include "app/DisplayProbe.h"
#include "app/QuotaboxApp.h"
#include "views/Appearance.h"

namespace {

using Environment = std::map<QString, QString>;

LaunchOptions parse(const QStringList& arguments) {
  QStringList withProgram{QStringLiteral("quotabox")};
  withProgram << arguments;
  return LaunchOptions::parse(withProgram);
}

struct ProgramRun {
  int exitCode = -1;
  QByteArray out;
  QByteArray err;
};

bool displayReachable() { return DisplayProbe::canConnectX11(qgetenv("DISPLAY")); }

class QuotaboxAppTest : public SandboxedTest {
 protected:
  // Starts the real program without a display unless `environment` names one; the test process's
  // offscreen platform is not passed on. An empty value removes the variable.
  QProcess* start(const QStringList& arguments, const Environment& environment = {}) {
    auto* process = new QProcess;
    processes.emplace_back(process);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"}) env.remove(name);
    for (const auto& [name, value] : environment) {
      if (value.isEmpty()) {
        env.remove(name);
      } else {
        env.insert(name, value);
      }
    }
    process->setProcessEnvironment(env);
    process->start(QStringLiteral(QUOTABOX_EXECUTABLE), arguments);
    return process;
  }

  ProgramRun run(const QStringList& arguments, const Environment& environment = {}) {
    QProcess* process = start(arguments, environment);
    EXPECT_TRUE(waitUntil([&] { return process->state() == QProcess::NotRunning; }, std::chrono::seconds(30)));
    return {process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1, process->readAllStandardOutput(),
            process->readAllStandardError()};
  }

  // Every file under the sandbox home, for proving a run wrote nothing.
  QStringList filesInHome() const {
    QStringList files;
    QDirIterator it(QString::fromStdString(sandbox.home().string()), QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) files << it.next();
    return files;
  }

  QString inHome(const std::string& relative) const { return QString::fromStdString(sandbox.path(relative).string()); }

  std::vector<std::unique_ptr<QProcess>> processes;
};

}  // namespace

TEST(QuotaboxAppLaunch, SpecialModesTakePrecedenceOverOpeningThePopover) {
  using Action = QuotaboxApp::LaunchAction;
  const std::pair<QStringList, Action> cases[] = {
      {{}, Action::none},
      {{"--open"}, Action::openPopover},
      {{"--open", "--snapshot", "/tmp/s"}, Action::snapshot},
      {{"--snapshot", "/tmp/s", "--verify-system", "/tmp/v"}, Action::verification},
      {{"--open", "--snapshot"}, Action::openPopover},
  };
  for (const auto& [arguments, action] : cases) {
    EXPECT_EQ(QuotaboxApp::launchAction(parse(arguments)), action) << arguments.join(' ').toStdString();
  }
}

TEST(QuotaboxAppLaunch, OnlyLowerCaseDarkSelectsTheDarkPalette) {
  EXPECT_LT(Appearance::palette("dark").color(QPalette::Window).lightness(), 128);
  EXPECT_GT(Appearance::palette("dark").color(QPalette::WindowText).lightness(), 128);
  for (const char* name : {"Dark", "light", ""}) {
    EXPECT_GT(Appearance::palette(name).color(QPalette::Window).lightness(), 128) << name;
  }
}

TEST_F(QuotaboxAppTest, VersionAndHelpPrintAndExit) {
  const ProgramRun version = run({"--version"});
  EXPECT_EQ(version.exitCode, 0);
#ifdef QUOTABOX_VERSION
  EXPECT_EQ(version.out, QByteArray("Quotabox " QUOTABOX_VERSION "\n"));
#else
  EXPECT_EQ(version.out, QByteArray("Quotabox (개발 빌드)\n"));
#endif
  const ProgramRun help = run({"--help", "--mock"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.out.startsWith("사용법: quotabox [옵션]"));
  EXPECT_TRUE(help.out.contains("  3                    모든 서비스의 사용량을 불러오지 못했어요\n"));
}

// A display that cannot be opened, and Qt's own options, end in the text report instead of an abort.
TEST_F(QuotaboxAppTest, WithoutAReachableDisplayTheReportGoesToStdoutAndTheNoticeToStderr) {
  const QByteArray notice = QuotaboxApp::noGraphicalSessionLine().toUtf8();
  const std::pair<QStringList, Environment> cases[] = {
      {{}, {}},
      {{}, {{"DISPLAY", ":77"}}},
      {{}, {{"WAYLAND_DISPLAY", "wayland-77"}, {"XDG_SESSION_TYPE", "wayland"}, {"XDG_RUNTIME_DIR", inHome("run")}}},
      {{"-platform", "nope", "-display", ":9"}, {}},
      {{}, {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":77"}}},
  };
  for (const auto& [arguments, environment] : cases) {
    SCOPED_TRACE(arguments.join(' ').toStdString() + " " +
                 (environment.empty() ? std::string() : environment.begin()->second.toStdString()));
    const ProgramRun result = run(arguments, environment);
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(result.out.startsWith("구독 사용량\n"));
    EXPECT_EQ(result.out.count("로그인되어 있지 않아요"), 2);
    EXPECT_FALSE(result.out.contains(notice));
    EXPECT_TRUE(result.err.endsWith(notice));
  }
  EXPECT_TRUE(filesInHome().isEmpty());
}

TEST_F(QuotaboxAppTest, QtOptionsOnTheCommandLineDoNotStopTheTray) {
  if (!displayReachable()) GTEST_SKIP() << "needs the X display of scripts/with-session";
  QProcess* tray =
      start({"--mock", "-platform", "nope", "-display", ":9"}, {{"DISPLAY", qEnvironmentVariable("DISPLAY")}});
  // Still running: Qt neither aborted on the options nor fell back to the report.
  EXPECT_FALSE(waitUntil([&] { return tray->state() == QProcess::NotRunning; }, std::chrono::seconds(2)))
      << tray->readAllStandardError().toStdString();
  // SIGTERM ends the event loop through the self-pipe: a normal exit, not death by the signal.
  tray->terminate();
  ASSERT_TRUE(waitUntil([&] { return tray->state() == QProcess::NotRunning; }, std::chrono::seconds(10)));
  EXPECT_EQ(tray->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(tray->exitCode(), 0);
  EXPECT_TRUE(tray->readAllStandardOutput().isEmpty());
}

TEST_F(QuotaboxAppTest, SpecialModesNeverPassOffTheReportAsTheirResult) {
  const ProgramRun verification = run({"--verify-system", inHome("checks")});
  EXPECT_EQ(verification.exitCode, 2);
  EXPECT_TRUE(verification.out.isEmpty());
  EXPECT_EQ(verification.err, QuotaboxApp::verificationNeedsDisplayLine().toUtf8());
  EXPECT_FALSE(QDir(inHome("checks")).exists());

  // Snapshots render off screen: without a display they take the same way as with one.
  const ProgramRun headless = run({"--snapshot", inHome("shots-headless")});
  EXPECT_EQ(headless.exitCode, 0);
  EXPECT_EQ(headless.out, "스냅샷 저장 위치: " + QDir(inHome("shots-headless")).absolutePath().toUtf8() + "\n");
  EXPECT_TRUE(QFile::exists(inHome("shots-headless") + "/popover-normal-light.png"));
  EXPECT_FALSE(headless.out.contains("구독 사용량"));
  if (displayReachable()) {
    const ProgramRun withDisplay = run({"--snapshot", inHome("shots")}, {{"DISPLAY", qEnvironmentVariable("DISPLAY")}});
    EXPECT_EQ(withDisplay.exitCode, headless.exitCode);
    EXPECT_TRUE(QFile::exists(inHome("shots") + "/ui-checks.json"));
  }
}

// The exit status tells whether any service answered; demonstration data says so in both reports.
TEST_F(QuotaboxAppTest, ReportsMarkDemonstrationDataAndFailWhenEveryServiceFailed) {
  const std::tuple<QStringList, int, std::string> jsonCases[] = {
      {{"--json", "--mock-error"}, 3, "mock:error"},
      {{"--json", "--mock-retained"}, 3, "mock:retained"},
      {{"--json", "--mock-mixed"}, 0, "mock:mixed"},
      {{"--json", "--mock-signedout"}, 0, "mock:signedout"},
      {{"--json", "--snapshot", inHome("shots")}, 0, "mock:normal"},
      {{"--json"}, 0, "live"},
  };
  for (const auto& [arguments, status, source] : jsonCases) {
    SCOPED_TRACE(arguments.join(' ').toStdString());
    const ProgramRun result = run(arguments);
    EXPECT_EQ(result.exitCode, status);
    EXPECT_EQ(nlohmann::json::parse(result.out.toStdString())["source"], source);
  }

  const ProgramRun high = run({"--mock-high", "--print"});
  EXPECT_EQ(high.exitCode, 0);
  EXPECT_TRUE(high.out.startsWith("예시 데이터(high)로 만든 보고서예요. 실제 사용량이 아니에요.\n구독 사용량\n"));
  EXPECT_TRUE(high.out.contains("  5시간  88% 사용 · 12% 남음  [주의]"));
  EXPECT_TRUE(high.out.contains("  주간  92% 사용 · 8% 남음  [한도 임박]"));
  EXPECT_EQ(run({"--print", "--mock-error"}).exitCode, 3);
  EXPECT_TRUE(filesInHome().isEmpty());
}

TEST_F(QuotaboxAppTest, LiveJsonReadsBothServicesAndLeavesTheHistoryAlone) {
  HttpTestServer server;
  server.respondWith(HttpTestResponse::json(200, fixture("claude-usage-with-limits.json")));
  sandbox.setEnv("QUOTABOX_CLAUDE_USAGE_URL", server.url("/api/oauth/usage").toUtf8());
  sandbox.writeFile(".claude/.credentials.json", fixture("claude-credentials.json"));
  sandbox.writeFile(".codex/auth.json", fixture("codex-auth.json"));
  sandbox.writeFile(".codex/sessions/2026/09/01/rollout-2026-09-01T07-21-58-01a0.jsonl",
                    fixture("codex-rollout-recent.jsonl"));
  const QByteArray history = R"({"version":1,"entries":[]})";
  const auto historyFile = sandbox.writeFile(".local/share/Quotabox/history.json", history);

  const ProgramRun result = run({"--json"});
  ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
  ASSERT_EQ(server.requests().size(), 1u);
  const auto report = nlohmann::json::parse(result.out.toStdString());
  EXPECT_EQ(report["source"], "live");
  // Parsing is covered by the providers' tests; here both reach the report.
  const auto& claude = report["services"][0];
  EXPECT_EQ(claude["status"], "ok");
  EXPECT_EQ(claude["planName"], "max");
  EXPECT_EQ(claude["windows"][0]["usedPercent"], 9.0);
  const auto& codex = report["services"][1];
  EXPECT_EQ(codex["status"], "ok");
  EXPECT_EQ(codex["windows"][1]["usedPercent"], 56.0);

  // No token anywhere in what the program printed.
  EXPECT_FALSE(result.out.contains("REDACTED"));
  EXPECT_FALSE(result.err.contains("REDACTED"));
  QFile kept(QString::fromStdString(historyFile.string()));
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), history);
}

// The status-bar mode writes one JSON line at once and one after every refresh; SIGUSR1 asks for
// a refresh, SIGTERM ends it cleanly.
TEST_F(QuotaboxAppTest, WaybarModeWritesLinesAndRefreshesOnSignal) {
  QProcess* process = start({QStringLiteral("--waybar"), QStringLiteral("--mock-high")});
  QList<QByteArray> lines;
  const auto readLines = [&] {
    while (process->canReadLine()) lines << process->readLine();
  };
  // The loading line at once, then lines until the first refresh has values.
  ASSERT_TRUE(waitUntil([&] {
    readLines();
    return lines.size() >= 2 && nlohmann::json::parse(lines.back().toStdString())["percentage"] != 0;
  }));
  const auto first = nlohmann::json::parse(lines.front().toStdString());
  EXPECT_EQ(first["text"], "C \u2026 \u00B7 G \u2026");
  const auto refreshed = nlohmann::json::parse(lines.back().toStdString());
  EXPECT_EQ(refreshed["class"], "critical");
  EXPECT_GE(refreshed["percentage"].get<int>(), 90);
  EXPECT_TRUE(QString::fromStdString(refreshed["tooltip"].get<std::string>()).contains(QStringLiteral("Claude")));

  const auto before = lines.size();
  ::kill(static_cast<pid_t>(process->processId()), SIGUSR1);
  ASSERT_TRUE(waitUntil([&] {
    readLines();
    return lines.size() > before;
  })) << "no line after SIGUSR1";

  process->terminate();
  ASSERT_TRUE(waitUntil([&] { return process->state() == QProcess::NotRunning; }));
  EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process->exitCode(), 0);
}
