#include "app/TerminalRun.h"

#include <QCoreApplication>

#include "app/DisplayProbe.h"
#include "appmodel/AppModel.h"
#include "appmodel/BuildInfo.h"
#include "report/TerminalReport.h"
#include "settings/SettingsDomain.h"

namespace {

// A report is a success when at least one service answered, even if only to say it is signed out.
bool anyServiceAnswered(const std::vector<std::pair<ServiceID, std::optional<ServiceUsage>>>& usages) {
  for (const auto& [service, usage] : usages) {
    if (usage && usage->status.kind != ProviderStatus::Kind::unavailable) return true;
  }
  return false;
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

int runReport(char* program, const LaunchOptions& options, bool json, const QString& noSessionCause) {
  // Qt reads its own options (-platform, -display) from the arguments; ours are parsed already,
  // so it gets only the program name.
  int argc = 1;
  char* programOnly[] = {program, nullptr};
  QCoreApplication app(argc, programOnly);
  // Reports read the history for trends but never write it, never notify and never start the loop.
  AppModel::Parts parts;
  parts.store = options.makeStore();
  parts.notifier = std::make_unique<ThresholdNotifier>(SettingsDomain::standard(), QStringLiteral("live"), nullptr,
                                                       [](const QByteArray&) {});
  const auto settings = SettingsDomain::standard();
  if (const QString notice = settings->setAsideNotice(); !notice.isEmpty()) {
    TerminalRun::writeOut(notice.toUtf8(), stderr);
  }
  AppModel model(options, settings, std::move(parts));
  model.store().setRefreshInterval(model.settings().refreshInterval());

  int status = 0;
  model.store().refresh().then(&app, [&] {
    const auto input = reportInput(model);
    const bool written =
        TerminalRun::writeOut(json ? TerminalReport::json(input) : TerminalReport::text(input).toUtf8(), stdout);
    // The notice goes to standard error, so a redirected report holds only the report.
    if (!noSessionCause.isEmpty()) {
      TerminalRun::writeOut(TerminalRun::noGraphicalSessionLine(noSessionCause).toUtf8(), stderr);
    }
    status = !written                           ? TerminalRun::kReportNotWritten
             : anyServiceAnswered(input.usages) ? 0
                                                : TerminalRun::kEveryServiceFailed;
    app.quit();
  });
  const int loopStatus = app.exec();
  return status != 0 ? status : loopStatus;
}

}  // namespace

namespace TerminalRun {

QString versionText() { return BuildInfo::versionText() + QLatin1Char('\n'); }

QString noGraphicalSessionLine(const QString& cause) {
  return QStringLiteral("트레이 아이콘을 띄우려면 그래픽 세션이 필요해요 (%1).\n").arg(cause);
}

QString noEngineLine() { return QStringLiteral("새로고침할 Quotabox가 이 세션에서 실행 중이 아니에요.\n"); }

QString verificationNeedsDisplayLine() {
  return QStringLiteral(
      "시스템 점검(--verify-system)에는 그래픽 세션이 필요해요. 화면에 연결할 수 없어 점검하지 않았어요.\n");
}

QString helpText() {
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
      "  --refresh            실행 중인 Quotabox에 지금 갱신하라고 알려요\n"
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
      "  -h, --help           이 도움말을 보여 줘요\n"
      "  -V, --version        버전을 보여 줘요\n"
      "\n"
      "종료 상태\n"
      "  0                    보고서를 냈고, 한 서비스 이상이 정상이거나 로그인 전이에요\n"
      "  1                    보고서를 쓰지 못했어요\n"
      "  2                    이 환경에서는 쓸 수 없는 모드예요\n"
      "  3                    모든 서비스의 사용량을 불러오지 못했어요\n");
}

bool writeOut(const QByteArray& bytes, FILE* stream) {
  const size_t written = std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
  return std::fflush(stream) == 0 && written == static_cast<size_t>(bytes.size());
}

LaunchOptions parse(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return LaunchOptions::parse(arguments);
}

std::optional<int> run(char* program, const LaunchOptions& options, QByteArray* platforms) {
  if (options.help) return writeOut(helpText().toUtf8(), stdout) ? 0 : kReportNotWritten;
  if (options.version) return writeOut(versionText().toUtf8(), stdout) ? 0 : kReportNotWritten;
  if (options.waybar || options.refresh) return std::nullopt;
  if (options.jsonReport) return runReport(program, options, true, {});
  if (options.printReport) return runReport(program, options, false, {});
  // Snapshots render off screen and need no display.
  if (options.snapshotDir && !options.verificationDir) return std::nullopt;

  const auto environment = DisplayProbe::processEnvironment();
  const auto probes = DisplayProbe::systemProbes();
  const QByteArray usable = DisplayProbe::usablePlatforms(environment, probes);
  if (platforms) *platforms = usable;
  if (!usable.isEmpty()) return std::nullopt;
  return runWithoutDisplay(program, options, DisplayProbe::unusableReason(environment, probes));
}

int runWithoutDisplay(char* program, const LaunchOptions& options, const QString& cause) {
  if (options.verificationDir) {
    writeOut(verificationNeedsDisplayLine().toUtf8(), stderr);
    return kModeUnavailable;
  }
  // Without a tray the command falls back to the text report.
  LaunchOptions report = options;
  report.printReport = true;
  return runReport(program, report, false, cause.isEmpty() ? QStringLiteral("화면에 연결할 수 없어요") : cause);
}

}  // namespace TerminalRun
