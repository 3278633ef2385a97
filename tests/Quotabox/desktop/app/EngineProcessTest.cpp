#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <nlohmann/json.hpp>

#include "EventLoop.h"
#include "HttpTestServer.h"
#include "PrivateBus.h"
#include "ProgramRunner.h"
#include "TestSandbox.h"
#include "app/DesktopHandOff.h"
#include "app/TerminalRun.h"
#include "app/TrayRun.h"
#include "app/WaybarRun.h"

namespace {

using namespace std::chrono_literals;

// Loaded machines start Qt programs slowly: waits are generous, never measured.
constexpr auto kLong = std::chrono::milliseconds(30000);

// The newest line shows values (a Claude percentage), not the start-up placeholder.
bool showsValues(StartedProgram& module) {
  if (module.read() == 0) return false;
  const auto line = nlohmann::json::parse(module.lines.back().toStdString(), nullptr, false);
  return line.is_object() && line["text"].get<std::string>().find('%') != std::string::npos;
}
// Waits for values; a failure carries what the module wrote on standard error.
::testing::AssertionResult soonShowsValues(StartedProgram& module) {
  if (waitUntil([&] { return showsValues(module); }, kLong)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "no values; standard error: " << module.err().toStdString();
}

bool processGone(pid_t pid) {
  // Gone, or a zombie waiting for a reaper that is not us.
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return true;
  const QByteArray fields = stat.readAll();
  return fields.mid(fields.lastIndexOf(')') + 2, 1) == "Z";
}

class EngineProcessTest : public SandboxedTest {
 protected:
  void SetUp() override {
    ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
    server.respondWith(HttpTestResponse::json(200, fixture("claude-usage-with-limits.json")));
    sandbox.setEnv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
    sandbox.setEnv("QUOTABOX_CLAUDE_USAGE_URL", server.url("/api/oauth/usage").toUtf8());
    sandbox.setEnv("CLAUDE_CONFIG_DIR", QByteArray::fromStdString(sandbox.path("claude").string()));
    sandbox.writeFile("claude/.credentials.json", fixture("claude-credentials.json"));
  }

  StartedProgram& startModule(const QStringList& extra = {}) { return programs.start(QStringList{"--waybar"} + extra); }
  StartedProgram& startTray() { return programs.start({}, ProgramRunner::display()); }
  // Runs `sh -c script` with the launcher as $0 and `more` after it.
  StartedProgram& startShell(const QString& script, const QStringList& more = {}) {
    return programs.start(QStringList{"-c", script, BuildPaths::launcher()} + more, {}, "/bin/sh");
  }
  // --refresh's exit status.
  int refresh() {
    const ProgramResult result = programs.run({"--refresh"});
    lastRefreshError = result.err;
    return result.exitCode;
  }
  size_t requests() const { return server.requests().size(); }

  PrivateBus bus;
  HttpTestServer server;
  ProgramRunner programs;
  QByteArray lastRefreshError;
};

}  // namespace

// Two bars (two monitors) run two modules: both show values, one refresh loop asks the server,
// --refresh reaches it, and when the engine ends the other module takes over.
TEST_F(EngineProcessTest, TwoModulesShareOneEngineAndTheSecondTakesOver) {
  StartedProgram& first = startModule();
  ASSERT_TRUE(soonShowsValues(first));
  StartedProgram& second = startModule();
  ASSERT_TRUE(soonShowsValues(second));
  EXPECT_EQ(requests(), 1u) << "the second module ran its own refresh";

  const int firstLines = first.read(), secondLines = second.read();
  ASSERT_EQ(refresh(), 0) << lastRefreshError.toStdString();
  ASSERT_TRUE(
      waitUntil([&] { return requests() == 2 && first.read() > firstLines && second.read() > secondLines; }, kLong));
  spinFor(500ms);
  EXPECT_EQ(requests(), 2u);

  // The engine ends: the follower starts its own loop (one request) and keeps printing values. Its
  // lines are counted before the end, as the takeover may print before the first has gone.
  const int before = second.read();
  first.stop();
  ASSERT_TRUE(waitUntil([&] { return requests() == 3 && second.read() > before && showsValues(second); }, kLong))
      << "requests: " << requests() << ", lines: " << second.read() << " after " << before;
  EXPECT_FALSE(second.ended());
  ASSERT_EQ(refresh(), 0);
  EXPECT_TRUE(waitUntil([&] { return requests() == 4; }, kLong));

  EXPECT_EQ(second.stop().exitCode, 0);
  EXPECT_EQ(refresh(), TerminalRun::kModeUnavailable);
  EXPECT_TRUE(lastRefreshError.startsWith(TerminalRun::noEngineLine().toUtf8())) << lastRefreshError.toStdString();
}

// A module never outlives its bar: not the shell between them, not a reader that went away.
TEST_F(EngineProcessTest, AModuleEndsWithItsParentAndWithItsReader) {
  StartedProgram& shell = startShell("\"$0\" --waybar --mock; true");
  ASSERT_TRUE(waitUntil([&] { return shell.read() > 0; }, kLong));
  QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(shell.pid()));
  ASSERT_TRUE(children.open(QIODevice::ReadOnly));
  const pid_t module = children.readAll().trimmed().toInt();
  ASSERT_GT(module, 0);
  shell.signal(SIGKILL);
  EXPECT_TRUE(waitUntil([&] { return processGone(module); }, 5s)) << "the module outlived its parent";

  // The reader takes one line and leaves; the module notices at once, not at its next line.
  StartedProgram& pipeline = startShell("\"$0\" --waybar --mock | head -n 1");
  EXPECT_TRUE(waitUntil([&] { return pipeline.ended(); }, kLong)) << "the module kept running without a reader";
  EXPECT_EQ(pipeline.read(), 1);
}

// A refresh signal that arrives while the program starts refreshes it rather than killing it. The
// module runs in the desktop program under the launcher's process id and name.
TEST_F(EngineProcessTest, ARefreshSignalDuringStartUpIsKeptForLater) {
  const QString desktop = DesktopHandOff::desktopExecutable(BuildPaths::launcher());
  for (const auto delay : {0ms, 30ms, 100ms, 250ms}) {
    SCOPED_TRACE(delay.count());
    StartedProgram& module = startModule({"--mock-high"});
    const QString proc = QStringLiteral("/proc/%1/").arg(module.pid());
    // From the hand-off to the desktop program on, until its handler exists.
    ASSERT_TRUE(
        waitUntil([&] { return module.ended() || QFileInfo(proc + "exe").canonicalFilePath() == desktop; }, kLong));
    spinFor(delay);
    module.signal(SIGUSR1);
    EXPECT_TRUE(waitUntil([&] { return module.ended() || showsValues(module); }, kLong));
    EXPECT_FALSE(module.ended()) << "ended with status " << module.process->exitCode() << ": "
                                 << module.err().toStdString();
    // Read once the program runs: the kernel switches the executable before it sets the arguments.
    if (QFile cmdline(proc + "cmdline"); delay == 0ms && cmdline.open(QIODevice::ReadOnly)) {
      EXPECT_EQ(QFile::decodeName(cmdline.readAll().split('\0').front()),
                QFileInfo(BuildPaths::launcher()).canonicalFilePath());
    }
    module.stop();
  }
}

// A reader that stops reading does not stop the module: it keeps answering, refreshing and
// quitting, and the lines the reader finally gets are whole.
TEST_F(EngineProcessTest, AStalledReaderDoesNotBlockTheModule) {
  // The module writes into a FIFO whose reader (this test) does not read for now.
  QTemporaryDir folder;
  const QByteArray fifo = QFile::encodeName(folder.filePath("bar"));
  ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
  const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  ::fcntl(reader, F_SETPIPE_SZ, 4096);
  StartedProgram& module = startShell("exec \"$0\" --waybar --mock-high >\"$1\"", {QFile::decodeName(fifo)});
  int pending = 0;
  const auto queued = [&] { return ::ioctl(reader, FIONREAD, &pending) == 0 ? pending : 0; };
  // Signals only once the module runs (the shell before it would die of one).
  ASSERT_TRUE(waitUntil([&] { return queued() > 0; }, kLong));
  ASSERT_TRUE(waitUntil(
      [&] {
        module.signal(SIGUSR1);
        spinFor(100ms);
        return queued() >= 3000;
      },
      kLong));
  spinFor(300ms);
  EXPECT_EQ(refresh(), 0) << "the module's event loop is blocked: " << lastRefreshError.toStdString();

  // The reader catches up: it gets the line that was under way and the newest one, both whole.
  ::fcntl(reader, F_SETFL, O_NONBLOCK);
  QByteArray received;
  char buffer[4096];
  const auto drain = [&] {
    qsizetype got = 0;
    for (ssize_t n; (n = ::read(reader, buffer, sizeof buffer)) > 0; got += n) received.append(buffer, n);
    return got;
  };
  EXPECT_TRUE(waitUntil(
      [&] {
        drain();
        spinFor(300ms);
        return drain() == 0 && received.endsWith('\n');
      },
      kLong));
  EXPECT_GE(module.stop().exitCode, 0) << "the module did not end normally";
  ::close(reader);
  const QList<QByteArray> lines = received.split('\n');
  ASSERT_GE(lines.size(), 2);
  EXPECT_TRUE(lines.back().isEmpty()) << "a line was cut short";
  for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
    EXPECT_FALSE(nlohmann::json::parse(lines[i].toStdString(), nullptr, false).is_discarded())
        << lines[i].toStdString();
  }
}

// Another program holding the session name does not leave the bar blank.
TEST_F(EngineProcessTest, AForeignOwnerOfTheNameDoesNotStopTheModule) {
  QDBusConnection squatter = QDBusConnection::connectToBus(bus.address(), QStringLiteral("squatter"));
  ASSERT_TRUE(squatter.isConnected());
  ASSERT_TRUE(squatter.registerService(QStringLiteral("com.orrisfen.Quotabox")));
  StartedProgram& module = startModule();
  EXPECT_TRUE(soonShowsValues(module));
  EXPECT_EQ(module.err(), WaybarRun::foreignOwnerLine().toUtf8());
  EXPECT_EQ(requests(), 1u);
  QDBusConnection::disconnectFromBus(QStringLiteral("squatter"));
}

// A tray started beside a module takes the engine over and hands it back when it ends; a second
// tray finds Quotabox already running.
TEST_F(EngineProcessTest, TrayAndModulesShareOneEngineInEitherOrder) {
  if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "the tray run needs a graphical session";
  StartedProgram& module = startModule();
  ASSERT_TRUE(soonShowsValues(module));
  ASSERT_EQ(requests(), 1u);
  StartedProgram& tray = startTray();
  // The tray takes the engine over and refreshes; the module shows the tray's values.
  int before = module.read();
  ASSERT_TRUE(waitUntil([&] { return requests() == 2 && module.read() > before; }, kLong)) << tray.err().toStdString();
  EXPECT_TRUE(showsValues(module));
  EXPECT_FALSE(tray.ended());
  before = module.read();
  ASSERT_EQ(refresh(), 0);
  ASSERT_TRUE(waitUntil([&] { return requests() == 3 && module.read() > before; }, kLong));
  spinFor(500ms);
  EXPECT_EQ(requests(), 3u) << "the module kept its own refresh loop";
  EXPECT_TRUE(QFile::exists(QString::fromStdString(sandbox.path(".local/share/Quotabox/history.json").string())));

  const ProgramResult secondTray = programs.run({}, ProgramRunner::display());
  EXPECT_EQ(secondTray.exitCode, 0);
  EXPECT_EQ(secondTray.err, TrayRun::handedOverLine().toUtf8());

  // The tray ends: the module takes over.
  tray.stop();
  EXPECT_TRUE(waitUntil([&] { return requests() == 4 && !module.ended(); }, kLong));
}

// A tray asked while the first one is stuck, which is then killed, takes the session over instead
// of giving up.
TEST_F(EngineProcessTest, ATrayStartedWhileTheFirstOneIsKilledTakesOver) {
  if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "the tray run needs a graphical session";
  StartedProgram& first = startTray();
  ASSERT_TRUE(waitUntil([&] { return requests() == 1; }, kLong)) << first.err().toStdString();
  first.signal(SIGSTOP);
  StartedProgram& second = startTray();
  // Long enough for the second to be asking the stuck first one (each ask waits up to a second).
  spinFor(1200ms);
  first.signal(SIGKILL);
  ASSERT_TRUE(waitUntil([&] { return requests() == 2 || second.ended(); }, kLong));
  EXPECT_FALSE(second.ended()) << second.err().toStdString();
  // A module now follows the second tray.
  StartedProgram& module = startModule();
  EXPECT_TRUE(soonShowsValues(module));
  spinFor(500ms);
  EXPECT_EQ(requests(), 2u);
}

// A platform that fails in Qt after the display probe falls back to the text report and names it.
TEST_F(EngineProcessTest, APlatformThatFailsAfterTheProbeFallsBackToTheReport) {
  const ProgramResult tray = programs.run({"--mock"}, {{"QT_QPA_PLATFORM", "nosuchplatform"}});
  EXPECT_EQ(tray.exitCode, 0);
  EXPECT_TRUE(tray.out.contains("구독 사용량\n"));
  const QString cause = QStringLiteral("화면(nosuchplatform)에 연결했지만 창을 띄울 수 없었어요");
  EXPECT_TRUE(tray.err.endsWith(TerminalRun::noGraphicalSessionLine(cause).toUtf8())) << tray.err.toStdString();
}
