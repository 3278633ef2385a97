#include "app/QuotaboxApp.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <memory>

#include "app/AppModel.h"
#include "app/BuildInfo.h"
#include "app/DisplayProbe.h"
#include "app/TrayRun.h"
#include "app/UnixSignalQuit.h"
#include "report/TerminalReport.h"
#include "settings/SettingsDomain.h"
#include "snapshot/ReleaseChecks.h"
#include "snapshot/Snapshotter.h"
#include "statusbar/WaybarModule.h"
#include "tray/GlyphFace.h"
#include "tray/SingleInstance.h"
#include "views/Appearance.h"
#include "views/SettingsView.h"
#include "views/UsageView.h"

namespace {

// False when the text did not reach the stream (a full disk, a closed pipe).
bool writeOut(const QByteArray& bytes, FILE* stream) {
  const size_t written = std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
  return std::fflush(stream) == 0 && written == static_cast<size_t>(bytes.size());
}

// Exit statuses of the report modes.
constexpr int kReportNotWritten = 1;
constexpr int kModeUnavailable = 2;
constexpr int kEveryServiceFailed = 3;

// A report is a success when at least one service answered, even if only to say it is signed out.
bool anyServiceAnswered(const std::vector<std::pair<ServiceID, std::optional<ServiceUsage>>>& usages) {
  for (const auto& [service, usage] : usages) {
    if (usage && usage->status.kind != ProviderStatus::Kind::unavailable) return true;
  }
  return false;
}

QByteArray usableDisplayPlatforms() {
  return DisplayProbe::usablePlatforms(DisplayProbe::processEnvironment(), DisplayProbe::systemProbes());
}

TerminalReport::Input reportInput(const AppModel& model) {
  TerminalReport::Input input;
  input.usages = model.orderedUsages();
  input.lastRefresh = model.store().lastRefresh();
  input.isRefreshing = model.store().isRefreshing();
  input.thresholds = {model.settings().warningThreshold(), model.settings().criticalThreshold()};
  input.refreshInterval = model.settings().refreshInterval();
  input.now = systemNow();
  input.trend = [&model](ServiceID service, const std::string& windowID) { return model.trend(service, windowID); };
  input.scenario = model.options().source.scenarioName();
  input.showTrends = model.settings().showTrends() && model.settings().historyEnabled();
  return input;
}

}  // namespace

QuotaboxApp::LaunchAction QuotaboxApp::launchAction(const LaunchOptions& options) {
  if (options.verificationDir) return LaunchAction::verification;
  if (options.snapshotDir) return LaunchAction::snapshot;
  if (options.openPopover) return LaunchAction::openPopover;
  return LaunchAction::none;
}

bool QuotaboxApp::hasGraphicalSession() { return !usableDisplayPlatforms().isEmpty(); }

QString QuotaboxApp::versionText() { return BuildInfo::versionText() + QLatin1Char('\n'); }

QString QuotaboxApp::noGraphicalSessionLine() {
  return QStringLiteral(
      "트레이 아이콘을 띄우려면 그래픽 세션이 필요해요 (DISPLAY나 WAYLAND_DISPLAY의 화면에 연결할 수 없어요).\n");
}

QString QuotaboxApp::verificationNeedsDisplayLine() {
  return QStringLiteral(
      "시스템 점검(--verify-system)에는 그래픽 세션이 필요해요. 화면에 연결할 수 없어 점검하지 않았어요.\n");
}

QString QuotaboxApp::helpText() {
  return QStringLiteral(
      "사용법: quotabox [옵션]\n"
      "\n"
      "Claude와 ChatGPT(Codex) 구독 사용량을 트레이에 보여 줘요.\n"
      "\n"
      "보고서\n"
      "  --print              한 번 갱신한 뒤 사용량을 글로 보여 주고 끝내요\n"
      "  --json               한 번 갱신한 뒤 사용량을 JSON으로 보여 주고 끝내요\n"
      "  --waybar             트레이 없이 갱신하며 waybar 모듈용 JSON을 한 줄씩 내보내요\n"
      "                       (SIGUSR1을 받으면 바로 갱신해요)\n"
      "\n"
      "예시 데이터\n"
      "  --mock               보통 사용량\n"
      "  --mock-high          높은 사용량\n"
      "  --mock-error         불러오기 실패\n"
      "  --mock-signedout     로그인되지 않음\n"
      "  --mock-stale         오래된 데이터\n"
      "  --mock-mixed         Claude는 정상, Codex는 로그인되지 않음\n"
      "  --mock-retained      실패 후 마지막 성공값 유지\n"
      "  --mock-trends        모든 종류의 추세 예측\n"
      "\n"
      "앱\n"
      "  --appearance 모드    dark면 어두운 화면, 그 밖의 값이면 밝은 화면\n"
      "  --open               시작하고 2초 뒤 사용량 창을 열어요\n"
      "  --snapshot 폴더      예시 화면을 이미지로 저장하고 끝내요\n"
      "  --verify-system 폴더 시스템 연동을 점검해 보고서를 저장하고 끝내요\n"
      "\n"
      "  --help               이 도움말을 보여 줘요\n"
      "  --version            버전을 보여 줘요\n"
      "\n"
      "종료 상태\n"
      "  0                    보고서를 냈고, 한 서비스 이상이 정상이거나 로그인 전이에요\n"
      "  1                    보고서를 쓰지 못했어요\n"
      "  2                    이 환경에서는 쓸 수 없는 모드예요\n"
      "  3                    모든 서비스의 사용량을 불러오지 못했어요\n");
}

int QuotaboxApp::run(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const LaunchOptions options = LaunchOptions::parse(arguments);

  if (options.help) return writeOut(helpText().toUtf8(), stdout) ? 0 : kReportNotWritten;
  if (options.version) return writeOut(versionText().toUtf8(), stdout) ? 0 : kReportNotWritten;

  // Qt reads its own options (-platform, -display) from the arguments and aborts on those it cannot
  // use; ours are parsed already, so it gets only the program name.
  char* programOnly[] = {argv[0], nullptr};
  if (options.waybar) return runWaybar(1, programOnly, options);
  if (options.jsonReport) return runReport(1, programOnly, options, true, false);
  if (options.printReport) return runReport(1, programOnly, options, false, false);

  if (options.snapshotDir && !options.verificationDir) {
    // Snapshots render off screen and need no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return runTray(1, programOnly, options);
  }
  const QByteArray platforms = usableDisplayPlatforms();
  if (platforms.isEmpty()) {
    if (options.verificationDir) {
      writeOut(verificationNeedsDisplayLine().toUtf8(), stderr);
      return kModeUnavailable;
    }
    // Without a tray the command falls back to the text report.
    LaunchOptions report = options;
    report.printReport = true;
    return runReport(1, programOnly, report, false, true);
  }
  // Only the platforms that connected, so Qt cannot pick one that would abort.
  qputenv("QT_QPA_PLATFORM", platforms);
  return runTray(1, programOnly, options);
}

int QuotaboxApp::runReport(int argc, char** argv, const LaunchOptions& options, bool json, bool explainNoSession) {
  QCoreApplication app(argc, argv);
  // Reports read the history for trends but never write it, and never start the loop.
  AppModel::Parts parts;
  parts.store = options.makeStore();
  parts.notifier = std::make_unique<ThresholdNotifier>(SettingsDomain::standard(), QStringLiteral("live"), nullptr,
                                                       [](const QByteArray&) {});
  AppModel model(options, SettingsDomain::standard(), std::move(parts));
  model.store().setRefreshInterval(model.settings().refreshInterval());

  int status = 0;
  model.store().refresh().then(&app, [&] {
    const auto input = reportInput(model);
    const bool written = writeOut(json ? TerminalReport::json(input) : TerminalReport::text(input).toUtf8(), stdout);
    // The notice goes to standard error, so a redirected report holds only the report.
    if (explainNoSession) writeOut(noGraphicalSessionLine().toUtf8(), stderr);
    status = !written ? kReportNotWritten : anyServiceAnswered(input.usages) ? 0 : kEveryServiceFailed;
    app.quit();
  });
  const int loopStatus = app.exec();
  return status != 0 ? status : loopStatus;
}

int QuotaboxApp::runTray(int argc, char** argv, const LaunchOptions& options) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QCoreApplication::setApplicationName(QStringLiteral("Quotabox"));
  if (const auto version = BuildInfo::version()) QCoreApplication::setApplicationVersion(*version);
  if (options.appearance) Appearance::apply(*options.appearance);
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
        status = ReleaseChecks::run(model, QString::fromStdString(*options.verificationDir)) ? 0 : kReportNotWritten;
        app.quit();
        break;
      case LaunchAction::snapshot:
        status = Snapshotter::run(QString::fromStdString(*options.snapshotDir)) ? 0 : kReportNotWritten;
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
    writeOut(QStringLiteral("Quotabox가 이미 실행 중이라 waybar 모듈을 시작하지 않았어요.\n").toUtf8(), stderr);
    return kModeUnavailable;
  }
  UnixSignalQuit unixSignals;
  // A closed pipe ends the run through the event loop, not by SIGPIPE mid-write.
  std::signal(SIGPIPE, SIG_IGN);
  AppModel model(options, SettingsDomain::standard());
  WaybarModule module(model, [&app](const QByteArray& line) {
    // The bar went away: nobody reads the lines any more.
    if (!writeOut(line, stdout)) app.exit(kReportNotWritten);
  });
  unixSignals.onRefreshSignal([&model] { model.refreshNow(); });
  module.emitLine();
  model.start();
  return app.exec();
}
