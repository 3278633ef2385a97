#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <map>
#include <nlohmann/json.hpp>

#include "BuildPaths.h"
#include "EventLoop.h"
#include "HttpTestServer.h"
#include "PrivateBus.h"
#include "TestSandbox.h"
#include "app/DesktopHandOff.h"
#include "app/QuotaboxApp.h"
#include "app/TerminalRun.h"
#include "app/TrayRun.h"
#include "app/WaybarRun.h"

namespace {

using namespace std::chrono_literals;

// Loaded machines start Qt programs slowly: waits are generous, never measured.
constexpr auto kLong = std::chrono::milliseconds(30000);

// One started program and the lines it printed.
struct Face {
  std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
  QList<QByteArray> lines;

  int read() {
    while (process->canReadLine()) lines << process->readLine();
    return static_cast<int>(lines.size());
  }
  // The newest line shows values (a Claude percentage), not the start-up placeholder.
  bool showsValues() {
    read();
    if (lines.isEmpty()) return false;
    const auto line = nlohmann::json::parse(lines.back().toStdString(), nullptr, false);
    return line.is_object() && line["text"].get<std::string>().find('%') != std::string::npos;
  }
  pid_t pid() const { return static_cast<pid_t>(process->processId()); }
  // Never to a process group: a process that ended has no id.
  void signal(int number) const {
    if (pid() > 0) ::kill(pid(), number);
  }
  bool ended() const { return process->state() == QProcess::NotRunning; }
};

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
    sandbox.setEnv("QUOTABOX_CLAUDE_USAGE_URL", server.url("/api/oauth/usage").toUtf8());
    sandbox.setEnv("CLAUDE_CONFIG_DIR", QByteArray::fromStdString(sandbox.path("claude").string()));
    sandbox.writeFile("claude/.credentials.json", fixture("claude-credentials.json"));
  }
  void TearDown() override {
    for (const auto& face : faces) {
      if (face->ended()) continue;
      face->process->kill();
      face->process->waitForFinished(5000);
    }
  }

  QProcessEnvironment environment(bool display) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"}) env.remove(name);
    if (!display) env.remove("DISPLAY");
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
    return env;
  }
  Face& start(const QStringList& arguments, bool display = false, QString program = BuildPaths::launcher()) {
    Face& face = *faces.emplace_back(std::make_unique<Face>());
    face.process->setProcessEnvironment(environment(display));
    face.process->start(program, arguments);
    EXPECT_TRUE(face.process->waitForStarted(10000));
    return face;
  }
  Face& startModule(const QStringList& extra = {}) { return start(QStringList{"--waybar"} + extra); }
  // --refresh's exit status.
  int refresh() {
    Face& face = start({"--refresh"});
    EXPECT_TRUE(waitUntil([&] { return face.ended(); }, kLong));
    lastRefreshError = face.process->readAllStandardError();
    return face.process->exitStatus() == QProcess::NormalExit ? face.process->exitCode() : -1;
  }
  size_t requests() const { return server.requests().size(); }

  PrivateBus bus;
  HttpTestServer server;
  std::vector<std::unique_ptr<Face>> faces;
  QByteArray lastRefreshError;
};

}  // namespace

// Two bars (two monitors) run two modules: both show values, one refresh loop asks the server,
// --refresh reaches it, and when the engine ends the other module takes over.
TEST_F(EngineProcessTest, TwoModulesShareOneEngineAndTheSecondTakesOver) {
  Face& first = startModule();
  ASSERT_TRUE(waitUntil([&] { return first.showsValues(); }, kLong))
      << first.process->readAllStandardError().toStdString();
  Face& second = startModule();
  ASSERT_TRUE(waitUntil([&] { return second.showsValues(); }, kLong))
      << second.process->readAllStandardError().toStdString();
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
  first.process->terminate();
  ASSERT_TRUE(waitUntil([&] { return first.ended(); }, kLong));
  ASSERT_TRUE(waitUntil([&] { return requests() == 3 && second.read() > before && second.showsValues(); }, kLong))
      << "requests: " << requests() << ", lines: " << second.read() << " after " << before;
  EXPECT_FALSE(second.ended());
  ASSERT_EQ(refresh(), 0);
  EXPECT_TRUE(waitUntil([&] { return requests() == 4; }, kLong));

  second.process->terminate();
  ASSERT_TRUE(waitUntil([&] { return second.ended(); }, kLong));
  EXPECT_EQ(second.process->exitCode(), 0);
  EXPECT_EQ(refresh(), TerminalRun::kModeUnavailable);
  EXPECT_TRUE(lastRefreshError.startsWith(TerminalRun::noEngineLine().toUtf8())) << lastRefreshError.toStdString();
}

// A module never outlives its bar: not the shell between them, not a reader that went away.
TEST_F(EngineProcessTest, AModuleEndsWithItsParentAndWithItsReader) {
  Face& shell = start({"-c", "\"$0\" --waybar --mock; true", BuildPaths::launcher()}, false, "/bin/sh");
  ASSERT_TRUE(waitUntil([&] { return shell.read() > 0; }, kLong));
  QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(shell.pid()));
  ASSERT_TRUE(children.open(QIODevice::ReadOnly));
  const pid_t module = children.readAll().trimmed().toInt();
  ASSERT_GT(module, 0);
  shell.signal(SIGKILL);
  EXPECT_TRUE(waitUntil([&] { return processGone(module); }, 5s)) << "the module outlived its parent";

  // The reader takes one line and leaves; the module notices at once, not at its next line.
  Face& pipeline = start({"-c", "\"$0\" --waybar --mock | head -n 1", BuildPaths::launcher()}, false, "/bin/sh");
  EXPECT_TRUE(waitUntil([&] { return pipeline.ended(); }, kLong)) << "the module kept running without a reader";
  EXPECT_EQ(pipeline.read(), 1);
}

// A refresh signal that arrives while the program starts refreshes it rather than killing it.
TEST_F(EngineProcessTest, ARefreshSignalDuringStartUpIsKeptForLater) {
  const QString desktop = DesktopHandOff::desktopExecutable(BuildPaths::launcher());
  for (const auto delay : {0ms, 30ms, 100ms, 250ms}) {
    SCOPED_TRACE(delay.count());
    Face& face = startModule({"--mock-high"});
    // From the hand-off to the desktop program on, until its handler exists.
    ASSERT_TRUE(waitUntil(
        [&] {
          return face.ended() ||
                 QFileInfo(QStringLiteral("/proc/%1/exe").arg(face.pid())).canonicalFilePath() == desktop;
        },
        kLong));
    spinFor(delay);
    face.signal(SIGUSR1);
    EXPECT_TRUE(waitUntil([&] { return face.ended() || face.showsValues(); }, kLong));
    EXPECT_FALSE(face.ended()) << "ended with status " << face.process->exitCode() << ": "
                               << face.process->readAllStandardError().toStdString();
    face.process->terminate();
    EXPECT_TRUE(waitUntil([&] { return face.ended(); }, kLong));
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
  Face& face =
      start({"-c", "exec \"$0\" --waybar --mock-high >\"$1\"", BuildPaths::launcher(), QFile::decodeName(fifo)}, false,
            "/bin/sh");
  int pending = 0;
  const auto queued = [&] { return ::ioctl(reader, FIONREAD, &pending) == 0 ? pending : 0; };
  // Signals only once the module runs (the shell before it would die of one).
  ASSERT_TRUE(waitUntil([&] { return queued() > 0; }, kLong));
  ASSERT_TRUE(waitUntil(
      [&] {
        face.signal(SIGUSR1);
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
  face.process->terminate();
  EXPECT_TRUE(waitUntil([&] { return face.ended(); }, kLong));
  EXPECT_EQ(face.process->exitStatus(), QProcess::NormalExit);
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
  Face& face = startModule();
  EXPECT_TRUE(waitUntil([&] { return face.showsValues(); }, kLong));
  EXPECT_EQ(face.process->readAllStandardError(), WaybarRun::foreignOwnerLine().toUtf8());
  EXPECT_EQ(requests(), 1u);
  QDBusConnection::disconnectFromBus(QStringLiteral("squatter"));
}

// Tray and modules in either order: one engine (one request per refresh), values everywhere; a
// second tray is the only start that finds Quotabox "already running".
TEST_F(EngineProcessTest, TrayAndModulesShareOneEngineInEitherOrder) {
  if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "the tray run needs a graphical session";
  Face& module = startModule();
  ASSERT_TRUE(waitUntil([&] { return module.showsValues(); }, kLong));
  ASSERT_EQ(requests(), 1u);
  Face& tray = start({}, true);
  // The tray takes the engine over and refreshes; the module shows the tray's values.
  int before = module.read();
  ASSERT_TRUE(waitUntil([&] { return requests() == 2 && module.read() > before; }, kLong))
      << tray.process->readAllStandardError().toStdString();
  EXPECT_TRUE(module.showsValues());
  EXPECT_FALSE(tray.ended());
  before = module.read();
  ASSERT_EQ(refresh(), 0);
  ASSERT_TRUE(waitUntil([&] { return requests() == 3 && module.read() > before; }, kLong));
  spinFor(500ms);
  EXPECT_EQ(requests(), 3u) << "the module kept its own refresh loop";
  EXPECT_TRUE(QFile::exists(QString::fromStdString(sandbox.path(".local/share/Quotabox/history.json").string())));

  Face& secondTray = start({}, true);
  ASSERT_TRUE(waitUntil([&] { return secondTray.ended(); }, kLong));
  EXPECT_EQ(secondTray.process->exitCode(), 0);
  EXPECT_EQ(secondTray.process->readAllStandardError(), TrayRun::handedOverLine().toUtf8());

  // The tray ends: the module takes over; a tray started now takes it back.
  tray.process->terminate();
  ASSERT_TRUE(waitUntil([&] { return tray.ended(); }, kLong));
  ASSERT_TRUE(waitUntil([&] { return requests() == 4; }, kLong));
  Face& againTray = start({}, true);
  ASSERT_TRUE(waitUntil([&] { return requests() == 5; }, kLong));
  EXPECT_FALSE(againTray.ended());
  EXPECT_FALSE(againTray.process->readAllStandardError().contains("이미 실행 중"));
  // A module started beside the tray follows it without a request of its own.
  Face& late = startModule();
  ASSERT_TRUE(waitUntil([&] { return late.showsValues(); }, kLong));
  spinFor(500ms);
  EXPECT_EQ(requests(), 5u);
}

// A tray asked while the first one is stuck, which is then killed, takes the session over instead
// of giving up.
TEST_F(EngineProcessTest, ATrayStartedWhileTheFirstOneIsKilledTakesOver) {
  if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "the tray run needs a graphical session";
  Face& first = start({}, true);
  ASSERT_TRUE(waitUntil([&] { return requests() == 1; }, kLong)) << first.process->readAllStandardError().toStdString();
  first.signal(SIGSTOP);
  Face& second = start({}, true);
  // Long enough for the second to be asking the stuck first one (each ask waits up to a second).
  spinFor(1200ms);
  first.signal(SIGKILL);
  ASSERT_TRUE(waitUntil([&] { return requests() == 2 || second.ended(); }, kLong));
  EXPECT_FALSE(second.ended()) << second.process->readAllStandardError().toStdString();
  // A module now follows the second tray.
  Face& module = startModule();
  EXPECT_TRUE(waitUntil([&] { return module.showsValues(); }, kLong));
  spinFor(500ms);
  EXPECT_EQ(requests(), 2u);
}

// A start that cannot show windows falls back to the text report and names the cause: a Wayland
// socket that accepts and hangs up (whatever the session type says), or a platform that fails in
// Qt after the probe.
TEST_F(EngineProcessTest, DisplaysThatRefuseFallBackToTheReportAndSayWhy) {
  QTemporaryDir folder;
  const QString socket = folder.filePath("wayland-9");
  QLocalServer compositor;
  ASSERT_TRUE(compositor.listen(socket));
  QObject::connect(&compositor, &QLocalServer::newConnection, [&] {
    while (QLocalSocket* client = compositor.nextPendingConnection()) client->abort();
  });
  const std::pair<std::map<QString, QString>, QString> cases[] = {
      {{{"WAYLAND_DISPLAY", socket}, {"XDG_SESSION_TYPE", "tty"}},
       QStringLiteral("Wayland 소켓(%1)에 연결할 수 없어요, DISPLAY가 설정되어 있지 않아요").arg(socket)},
      {{{"QT_QPA_PLATFORM", "nosuchplatform"}},
       QStringLiteral("화면(nosuchplatform)에 연결했지만 창을 띄울 수 없었어요")},
  };
  for (const auto& [variables, cause] : cases) {
    SCOPED_TRACE(cause.toStdString());
    QProcessEnvironment env = environment(false);
    for (const auto& [name, value] : variables) env.insert(name, value);
    Face& tray = *faces.emplace_back(std::make_unique<Face>());
    tray.process->setProcessEnvironment(env);
    tray.process->start(BuildPaths::launcher(), {"--mock"});
    ASSERT_TRUE(waitUntil([&] { return tray.ended(); }, kLong));
    EXPECT_EQ(tray.process->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tray.process->exitCode(), 0);
    EXPECT_TRUE(tray.process->readAllStandardOutput().contains("구독 사용량\n"));
    EXPECT_TRUE(tray.process->readAllStandardError().endsWith(TerminalRun::noGraphicalSessionLine(cause).toUtf8()));
  }
}
