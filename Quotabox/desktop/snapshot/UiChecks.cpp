#include "snapshot/UiChecks.h"

#include <chrono>

#include "appmodel/AppModel.h"
#include "snapshot/EventWait.h"
#include "wording/TrendPhrasing.h"

namespace {
constexpr double kCheckedInterval = 60;
// Bounds the wait for a history clear, so a clear that never ends fails the check instead of
// hanging the run.
constexpr int kClearTimeoutMs = 10000;
constexpr int kRestartPauseMs = 100;

bool trendsOffered(const AppModel& model) { return model.settings().showTrends() && model.settings().historyEnabled(); }

void fullWindowChecks(nlohmann::json& report) {
  const TimePoint now = systemNow();
  UsageWindow window("five_hour", "5시간", 99.99, now + std::chrono::hours(1), 300);
  const WindowTrend trend = WindowTrend::insufficient(ServiceID::claude, "five_hour");
  const auto current = TrendPhrasing::presentation(trend, window, now, true);
  report["fullBeforeInsufficient"] = current.has_value() && current->title == QStringLiteral("한도에 도달했어요");
  report["staleFullHidden"] = !TrendPhrasing::presentation(trend, window, now, false).has_value();
  window.resetsAt = now;
  report["resetFullHidden"] = !TrendPhrasing::presentation(trend, window, now, true).has_value();
}
}  // namespace

namespace UiChecks {

nlohmann::json run(const std::shared_ptr<SettingsDomain>& defaults) {
  nlohmann::json report = nlohmann::json::object();
  LaunchOptions options;
  options.source = LaunchOptions::Source::mock(MockUsageProvider::Scenario::normal);
  AppModel model(options, defaults);
  const std::string fiveHour = AppModel::trendKey(ServiceID::claude, "five_hour");
  const std::string sevenDay = AppModel::trendKey(ServiceID::claude, "seven_day");

  model.toggleTrend(ServiceID::claude, "five_hour");
  report["expand"] = model.expandedTrends().count(fiveHour) == 1;
  model.toggleTrend(ServiceID::claude, "seven_day");
  report["accordion"] = model.expandedTrends() == std::set<std::string>{sevenDay};
  model.toggleTrend(ServiceID::claude, "seven_day");
  report["collapse"] = model.expandedTrends().empty();

  model.applyHistoryEnabled(false);
  report["historyOffHidesTrends"] = !trendsOffered(model) && !model.store().historyEnabled();
  model.applyHistoryEnabled(true);
  model.settings().setShowTrends(false);
  report["displayOffKeepsRecording"] = !trendsOffered(model) && model.store().historyEnabled();
  model.settings().setShowTrends(true);

  model.setPage(AppModel::Page::settings);
  model.setHistoryClear(AppModel::HistoryClearStage::confirming);
  model.setHistoryClear(AppModel::HistoryClearStage::idle);
  report["deleteCancel"] = model.historyClear() == AppModel::HistoryClearStage::idle;
  model.setHistoryClear(AppModel::HistoryClearStage::confirming);
  model.confirmClearHistory();
  report["deleteWaits"] = model.store().isClearingHistory();
  const bool cleared = EventWait::until([&model] { return !model.store().isClearingHistory(); }, kClearTimeoutMs);
  report["deleteFinished"] = cleared && !model.store().historyClearFailed();

  model.setPage(AppModel::Page::settings);
  model.toggleTrend(ServiceID::claude, "five_hour");
  model.popoverDidDisappear();
  report["reopenCompact"] = model.page() == AppModel::Page::usage && model.expandedTrends().empty() &&
                            model.historyClear() == AppModel::HistoryClearStage::idle;

  fullWindowChecks(report);

  if (model.settings().refreshInterval() != kCheckedInterval) {
    model.applyRefreshInterval(kCheckedInterval);
    EventWait::pause(kRestartPauseMs);
  } else {
    EventWait::pause(0);
  }
  report["refreshSetting"] =
      model.store().refreshInterval() == kCheckedInterval && model.settings().refreshInterval() == kCheckedInterval;
  model.store().stop();
  return report;
}

}  // namespace UiChecks
