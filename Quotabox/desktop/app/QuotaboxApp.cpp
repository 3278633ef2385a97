#include "app/QuotaboxApp.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>
#include <csignal>
#include <memory>

#include "appmodel/AppModel.h"
#include "appmodel/BuildInfo.h"
#include "app/TerminalRun.h"
#include "app/TrayRun.h"
#include "app/UnixSignalQuit.h"
#include "http/ClaudeUsageNetwork.h"
#include "settings/SettingsDomain.h"
#include "snapshot/ReleaseChecks.h"
#include "snapshot/Snapshotter.h"
#include "statusbar/WaybarModule.h"
#include "tray/GlyphFace.h"
#include "platform/SingleInstance.h"
#include "style/AppLook.h"
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
  options.claudeRequest = ClaudeUsageTransfer::withLimit(ClaudeUsageTransfer::kExchangeLimit);
  QByteArray platforms;
  if (const auto status = TerminalRun::run(argv[0], options, &platforms)) return *status;

  // Qt reads its own options (-platform, -display) from the arguments and aborts on those it cannot
  // use; ours are parsed already, so it gets only the program name.
  char* programOnly[] = {argv[0], nullptr};
  if (options.waybar) return runWaybar(1, programOnly, options);
  if (options.snapshotDir && !options.verificationDir) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return runTray(1, programOnly, options);
  }
  // Only the platforms that connected, so Qt cannot pick one that would abort.
  qputenv("QT_QPA_PLATFORM", platforms);
  return runTray(1, programOnly, options);
}

int QuotaboxApp::runTray(int argc, char** argv, const LaunchOptions& options) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QCoreApplication::setApplicationName(QStringLiteral("Quotabox"));
  if (const auto version = BuildInfo::version()) QCoreApplication::setApplicationVersion(*version);
  applyAppLook(app, options.appearance);
  UnixSignalQuit quitOnSignal;

  const LaunchAction action = launchAction(options);
  const bool special = action == LaunchAction::verification || action == LaunchAction::snapshot;
  // One tray per session; a second start opens the first one's popover instead.
  SingleInstance instance(QDBusConnection::sessionBus());
  if (!special) {
    if (const auto status = TrayRun::claimOrHandOver(instance)) return *status;
  }

  AppModel model(options, SettingsDomain::standard());
  std::unique_ptr<TrayRun> tray;
  if (!special) {
    // The item first, so it shows (and follows the first refresh) as early as possible.
    const PopoverWindow::Pages pages{
        [](AppModel& shown, QWidget* parent) -> QWidget* { return new UsageView(shown, parent); },
        [](AppModel& shown, QWidget* parent) -> QWidget* { return new SettingsView(shown, parent); }};
    tray = std::make_unique<TrayRun>(model, instance, pages, GlyphFace::fromModel);
    if (action == LaunchAction::openPopover) tray->openAfterLaunch();
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
  const int loopStatus = app.exec();
  return status != 0 ? status : loopStatus;
}

int QuotaboxApp::runWaybar(int argc, char** argv, const LaunchOptions& options) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Quotabox"));
  // One refresh loop per session, shared with the tray run: a second one would notify twice.
  SingleInstance instance(QDBusConnection::sessionBus());
  if (instance.claim() == SingleInstance::Claim::taken) {
    TerminalRun::writeOut(QStringLiteral("Quotabox가 이미 실행 중이라 waybar 모듈을 시작하지 않았어요.\n").toUtf8(),
                          stderr);
    return TerminalRun::kModeUnavailable;
  }
  UnixSignalQuit unixSignals;
  // A closed pipe ends the run through the event loop, not by SIGPIPE mid-write.
  std::signal(SIGPIPE, SIG_IGN);
  AppModel model(options, SettingsDomain::standard());
  WaybarModule module(model, [&app](const QByteArray& line) {
    // The bar went away: nobody reads the lines any more.
    if (!TerminalRun::writeOut(line, stdout)) app.exit(TerminalRun::kReportNotWritten);
  });
  unixSignals.onRefreshSignal([&model] { model.refreshNow(); });
  module.emitLine();
  model.start();
  return app.exec();
}
