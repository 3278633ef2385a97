#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <nlohmann/json.hpp>

#include "views/Appearance.h"
#include "EventLoop.h"
#include "HttpTestServer.h"
#include "app/QuotaboxApp.h"
#include "TestSandbox.h"

namespace {

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

class QuotaboxAppTest : public SandboxedTest {
 protected:
  // Runs the real program (the server in this process keeps answering while it runs).
  ProgramRun run(const QStringList& arguments, bool graphical = false) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!graphical) {
      environment.remove(QStringLiteral("DISPLAY"));
      environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    }
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUOTABOX_EXECUTABLE), arguments);
    EXPECT_TRUE(waitUntil([&] { return process.state() == QProcess::NotRunning; }, std::chrono::seconds(30)));
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
  }

  // Every file under the sandbox home, for proving a run wrote nothing.
  QStringList filesInHome() const {
    QStringList files;
    QDirIterator it(QString::fromStdString(sandbox.home().string()), QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) files << it.next();
    files.sort();
    return files;
  }
};

}  // namespace

TEST(QuotaboxAppLaunch, SpecialModesTakePrecedenceOverOpeningThePopover) {
  using Action = QuotaboxApp::LaunchAction;
  EXPECT_EQ(QuotaboxApp::launchAction(parse({})), Action::none);
  EXPECT_EQ(QuotaboxApp::launchAction(parse({"--open"})), Action::openPopover);
  EXPECT_EQ(QuotaboxApp::launchAction(parse({"--open", "--snapshot", "/tmp/s"})), Action::snapshot);
  EXPECT_EQ(QuotaboxApp::launchAction(parse({"--snapshot", "/tmp/s", "--verify-system", "/tmp/v"})),
            Action::verification);
  EXPECT_EQ(QuotaboxApp::launchAction(parse({"--open", "--snapshot"})), Action::openPopover);
}

TEST(QuotaboxAppLaunch, OnlyLowerCaseDarkSelectsTheDarkPalette) {
  EXPECT_LT(Appearance::palette("dark").color(QPalette::Window).lightness(), 128);
  EXPECT_GT(Appearance::palette("dark").color(QPalette::WindowText).lightness(), 128);
  for (const char* name : {"Dark", "light", ""}) {
    EXPECT_GT(Appearance::palette(name).color(QPalette::Window).lightness(), 128) << name;
  }
}

TEST(QuotaboxAppLaunch, HelpNamesEveryOption) {
  const QString help = QuotaboxApp::helpText();
  for (const char* option : {"--print", "--json", "--mock", "--mock-high", "--mock-error", "--mock-signedout",
                             "--mock-stale", "--mock-mixed", "--mock-retained", "--mock-trends", "--appearance",
                             "--open", "--snapshot", "--verify-system", "--help", "--version"}) {
    EXPECT_TRUE(help.contains(QString::fromLatin1(option) + ' ')) << option;
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
}

TEST_F(QuotaboxAppTest, ScenarioReportsPrintTextAndJson) {
  const ProgramRun text = run({"--mock-high", "--print"});
  EXPECT_EQ(text.exitCode, 0);
  EXPECT_TRUE(text.out.contains("  5시간  88% 사용 · 12% 남음  [주의]"));
  EXPECT_TRUE(text.out.contains("  주간  92% 사용 · 8% 남음  [한도 임박]"));

  const ProgramRun json = run({"--json", "--mock-trends"});
  ASSERT_EQ(json.exitCode, 0);
  const auto report = nlohmann::json::parse(json.out.toStdString());
  ASSERT_EQ(report["services"].size(), 2u);
  EXPECT_EQ(report["services"][0]["windows"][1]["trend"]["verdict"], "exhaustsBeforeReset");
  EXPECT_EQ(report["services"][1]["windows"][0]["trend"]["verdict"], "onTrack");
  EXPECT_TRUE(filesInHome().isEmpty());
}

TEST_F(QuotaboxAppTest, WithoutAGraphicalSessionPrintsTheSignedOutReport) {
  const ProgramRun result = run({});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out.count("로그인되어 있지 않아요"), 2);
  EXPECT_TRUE(result.out.endsWith(QuotaboxApp::noGraphicalSessionLine().toUtf8()));
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
  const auto& claude = report["services"][0];
  EXPECT_EQ(claude["status"], "ok");
  EXPECT_EQ(claude["planName"], "max");
  ASSERT_GE(claude["windows"].size(), 2u);
  EXPECT_EQ(claude["windows"][0]["id"], "five_hour");
  EXPECT_EQ(claude["windows"][0]["usedPercent"], 9.0);
  EXPECT_EQ(claude["windows"][0]["resetsAt"], std::string("2026-08-16T14:00:00.419Z"));
  const auto& codex = report["services"][1];
  EXPECT_EQ(codex["status"], "ok");
  ASSERT_EQ(codex["windows"].size(), 2u);
  EXPECT_EQ(codex["windows"][0]["id"], "codex_primary");
  EXPECT_EQ(codex["windows"][1]["usedPercent"], 56.0);
  EXPECT_EQ(codex["fetchedAt"].get<std::string>().substr(0, 10), "2026-09-01");

  // No token anywhere in what the program printed.
  EXPECT_FALSE(result.out.contains("REDACTED"));
  EXPECT_FALSE(result.err.contains("REDACTED"));
  QFile kept(QString::fromStdString(historyFile.string()));
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), history);
}
