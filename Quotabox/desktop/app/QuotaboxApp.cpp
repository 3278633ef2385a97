#include "app/QuotaboxApp.h"

#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>
#include <csignal>
#include <memory>
#if defined(Q_OS_LINUX)
#include <sys/prctl.h>
#endif

#include "app/TerminalRun.h"
#include "app/TrayRun.h"
#include "app/UnixSignalQuit.h"
#include "app/WaybarRun.h"
#include "appmodel/AppModel.h"
#include "appmodel/BuildInfo.h"
#include "http/ClaudeUsageNetwork.h"
#include "platform/EngineFollower.h"
#include "platform/SingleInstance.h"
#include "settings/SettingsDomain.h"
#include "snapshot/ReleaseChecks.h"
#include "snapshot/Snapshotter.h"
#include "statusbar/LineWriter.h"
#include "statusbar/WaybarModule.h"
#include "style/AppLook.h"
#include "tray/GlyphFace.h"
#include "views/SettingsView.h"
#include "views/UsageView.h"

QuotaboxApp::LaunchAction QuotaboxApp::launchAction(const LaunchOptions& options) {
  if (options.verificationDir) return LaunchAction::verification;
  if (options.snapshotDir) return LaunchAction::snapshot;
  if (options.openPopover) return LaunchAction::openPopover;
  return LaunchAction::none;
}

int QuotaboxApp::run(int argc, char** argv) {
  LaunchOptions options = TerminalRun::parse(argc, argv);
  // Only the status-bar module reads the signal pipe from its first moment; every other run gets
  // the usual stop signals back until its event loop takes them.
  if (!options.waybar) UnixSignalQuit::release();
  options.claudeRequest = ClaudeUsageTransfer::withLimit(ClaudeUsageTransfer::kExchangeLimit);
  QByteArray platforms;
  if (const auto status = TerminalRun::run(argv[0], options, &platforms)) return *status;
  if (!options.refresh) {
    // An unreadable settings file was set aside; the run goes on with the defaults and says so.
    if (const QString notice = SettingsDomain::standard()->setAsideNotice(); !notice.isEmpty()) {
      TerminalRun::writeOut(notice.toUtf8(), stderr);
    }
  }

  // Qt reads its own options (-platform, -display) from the arguments and aborts on those it cannot
  // use; ours are parsed already, so it gets only the program name.
  char* programOnly[] = {argv[0], nullptr};
  if (options.waybar) return runWaybar(1, programOnly, options);
  if (options.refresh) return runRefresh(1, programOnly);
  if (options.snapshotDir && !options.verificationDir) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return runTray(1, programOnly, options).value_or(TerminalRun::kModeUnavailable);
  }
  // Only the platforms that connected, so Qt cannot pick one that would abort; a display that
  // refuses after all lands on the off-screen platform, which the run takes as no display.
  qputenv("QT_QPA_PLATFORM", platforms + ";offscreen");
  if (const auto status = runTray(1, programOnly, options)) return *status;
  const QString cause =
      QStringLiteral("화면(%1)에 연결했지만 창을 띄울 수 없었어요").arg(QString::fromLocal8Bit(platforms));
  return TerminalRun::runWithoutDisplay(argv[0], options, cause);
}

std::optional<int> QuotaboxApp::claimEngine(SingleInstance& instance) {
  // A few rounds: an owner killed while we ask leaves the name free for the next claim.
  constexpr int kRounds = 3;
  for (int round = 0; round < kRounds; ++round) {
    if (instance.claim() != SingleInstance::Claim::taken) return std::nullopt;
    switch (SingleInstance::askToOpen(QDBusConnection::sessionBus())) {
      case SingleInstance::Answer::opened:
        TerminalRun::writeOut(TrayRun::handedOverLine().toUtf8(), stderr);
        return 0;
      case SingleInstance::Answer::noPopover:
        // Only status-bar modules run: the tray becomes the engine and they follow it.
        if (instance.takeOver() == SingleInstance::Claim::owned) return std::nullopt;
        break;
      case SingleInstance::Answer::foreign:
        // Whoever holds the name is not Quotabox: run anyway, and say why nothing follows.
        TerminalRun::writeOut(foreignOwnerLine().toUtf8(), stderr);
        return std::nullopt;
      case SingleInstance::Answer::unreachable:
        break;
    }
  }
  if (instance.claim() != SingleInstance::Claim::taken) return std::nullopt;
  TerminalRun::writeOut(TrayRun::unreachableLine().toUtf8(), stderr);
  return TerminalRun::kReportNotWritten;
}

QString QuotaboxApp::foreignOwnerLine() {
  return QStringLiteral(
      "다른 프로그램이 세션 이름 com.orrisfen.Quotabox를 쓰고 있어 다른 Quotabox 창과 연결하지 않고 실행해요.\n");
}

std::optional<int> QuotaboxApp::runTray(int argc, char** argv, const LaunchOptions& options) {
  QApplication app(argc, argv);
  const LaunchAction action = launchAction(options);
  const bool special = action == LaunchAction::verification || action == LaunchAction::snapshot;
  // The off-screen platform stands in only for a display that refused.
  if (action != LaunchAction::snapshot && QGuiApplication::platformName() == QLatin1String("offscreen")) {
    return std::nullopt;
  }
  QApplication::setQuitOnLastWindowClosed(false);
  QCoreApplication::setApplicationName(QStringLiteral("Quotabox"));
  if (const auto version = BuildInfo::version()) QCoreApplication::setApplicationVersion(*version);
  applyAppLook(app, options.appearance);
  UnixSignalQuit quitOnSignal;

  // One engine per session: a tray that finds another tray opens its popover instead; one that
  // finds only status-bar modules takes the engine over from them.
  SingleInstance instance(QDBusConnection::sessionBus());
  if (!special) {
    if (const auto status = claimEngine(instance)) return *status;
  }

  AppModel model(options, SettingsDomain::standard());
  std::unique_ptr<TrayRun> tray;
  std::unique_ptr<WaybarModule> published;
  if (!special) {
    // The item first, so it shows (and follows the first refresh) as early as possible.
    const PopoverWindow::Pages pages{
        [](AppModel& shown, QWidget* parent) -> QWidget* { return new UsageView(shown, parent); },
        [](AppModel& shown, QWidget* parent) -> QWidget* { return new SettingsView(shown, parent); }};
    tray = std::make_unique<TrayRun>(model, instance, pages, GlyphFace::fromModel);
    instance.setHasPopover(true);
    // Status-bar modules of the session show what this engine publishes.
    published =
        std::make_unique<WaybarModule>(model, [&instance](const EngineState& state) { instance.publish(state); });
    QObject::connect(&instance, &SingleInstance::refreshRequested, &model, &AppModel::refreshNow);
    quitOnSignal.onRefreshSignal([&model] { model.refreshNow(); });
    if (action == LaunchAction::openPopover) tray->openAfterLaunch();
    published->emitLine();
    model.start();
  }

  int status = 0;
  QTimer::singleShot(0, &app, [&] {
    switch (action) {
      case LaunchAction::verification:
        status = ReleaseChecks::run(model, QString::fromStdString(*options.verificationDir))
                     ? 0
                     : TerminalRun::kReportNotWritten;
        app.quit();
        break;
      case LaunchAction::snapshot:
        status = Snapshotter::run(QString::fromStdString(*options.snapshotDir)) ? 0 : TerminalRun::kReportNotWritten;
        app.quit();
        break;
      case LaunchAction::openPopover:
      case LaunchAction::none:
        break;
    }
  });
  // A stop signal taken in an event loop that ran during start-up never reached this one.
  if (quitOnSignal.quitRequested()) return 0;
  const int loopStatus = app.exec();
  return status != 0 ? status : loopStatus;
}

int QuotaboxApp::runWaybar(int argc, char** argv, const LaunchOptions& options) {
#if defined(Q_OS_LINUX)
  // The module never outlives its bar: it ends with the process that started it. A parent gone
  // before this line is caught by the check after it.
  const pid_t parent = ::getppid();
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (::getppid() != parent) return TerminalRun::kReportNotWritten;
#endif
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Quotabox"));
  UnixSignalQuit unixSignals;
  // A closed pipe ends the run through the event loop, not by SIGPIPE mid-write.
  std::signal(SIGPIPE, SIG_IGN);
  LineWriter output(STDOUT_FILENO);
  // The bar went away: nobody reads the lines any more.
  QObject::connect(&output, &LineWriter::closed, &app, [] { QCoreApplication::exit(TerminalRun::kReportNotWritten); });
  if (output.isClosed()) return TerminalRun::kReportNotWritten;

  SingleInstance instance(QDBusConnection::sessionBus());
  EngineFollower follower(QDBusConnection::sessionBus());
  WaybarRun module(
      instance, follower, [&options] { return std::make_unique<AppModel>(options, SettingsDomain::standard()); },
      [&output](const QByteArray& line) { output.write(line); },
      [](const QString& line) { TerminalRun::writeOut(line.toUtf8(), stderr); });
  unixSignals.onRefreshSignal([&module] { module.refresh(); });
  module.start();
  // Start-up may have run an event loop of its own (a bus call) in which the reader left or a stop
  // signal came; quitting there does not reach the main loop.
  if (output.isClosed()) return TerminalRun::kReportNotWritten;
  if (unixSignals.quitRequested()) return 0;
  return app.exec();
}

int QuotaboxApp::runRefresh(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (EngineFollower::askToRefresh(QDBusConnection::sessionBus(), kRefreshTimeoutMs) ==
      EngineFollower::Refresh::asked) {
    return 0;
  }
  TerminalRun::writeOut(TerminalRun::noEngineLine().toUtf8(), stderr);
  return TerminalRun::kModeUnavailable;
}
