#include <gtest/gtest.h>

#include "EventLoop.h"
#include "TestModel.h"
#include "TestSandbox.h"
#include "login/LoginItemError.h"

namespace {

class AppModelTest : public SandboxedTest, protected TestModel {};

}  // namespace

TEST_F(AppModelTest, BuildsFromSettingsAndPicksTheNotifierNamespaceBySource) {
  defaults->setValue(QStringLiteral("historyEnabled"), false);
  EXPECT_FALSE(build()->store().historyEnabled());

  const LaunchOptions mock = LaunchOptions::parse({QStringLiteral("quotabox"), QStringLiteral("--mock-stale")});
  AppModel::Parts parts;
  parts.store = std::make_unique<UsageStore>(std::vector<std::shared_ptr<UsageProvider>>{});
  EXPECT_EQ(AppModel(LaunchOptions{}, defaults, std::move(parts)).notifier().stateKey(), "notifiedLevels.live");
  EXPECT_EQ(AppModel(mock, defaults).notifier().stateKey(), "notifiedLevels.mock");
}

TEST_F(AppModelTest, StartRefreshesEvaluatesOncePerRefreshAndRestartsOnlyOnANewInterval) {
  defaults->setValue(QStringLiteral("refreshInterval"), 600.0);
  center->status = NotificationCenter::Authorization::notDetermined;
  auto model = build(95);
  const auto evaluations = countSignal(model.get(), &AppModel::notificationsEvaluated);
  model->start();
  EXPECT_TRUE(model->store().isRunning());
  // The first refresh and the start-up evaluation both lead to an evaluation.
  ASSERT_TRUE(waitUntil([&] { return *evaluations == 2 && !model->store().isRefreshing(); }));
  EXPECT_EQ(center->requests, 1);
  EXPECT_EQ(model->notifier().authorization(), ThresholdNotifier::Authorization::allowed);
  ASSERT_EQ(center->added.size(), 1u);
  EXPECT_EQ(center->added[0].first, "usage.claude.five_hour");

  clock.advance(120);
  awaitFuture(model->store().refresh());
  ASSERT_TRUE(waitUntil([&] { return *evaluations == 3; }));
  model->applyRefreshInterval(600);  // the stored interval: no restart
  EXPECT_FALSE(model->store().isRefreshing());
  drainEvents();
  EXPECT_EQ(*evaluations, 3);
  EXPECT_EQ(claude->calls, 2);
  EXPECT_EQ(center->added.size(), 1u);  // same level, same cycle

  model->applyRefreshInterval(300);
  EXPECT_EQ(model->store().refreshInterval(), 300);
  ASSERT_TRUE(waitUntil([&] { return claude->calls == 3; }));
  model->store().stop();
}

TEST_F(AppModelTest, OpeningThePopoverRefreshesOnlyAMinuteAfterTheLastRefresh) {
  auto model = build();
  // Never refreshed, 30 s later, 61 s later, and a last refresh in the future (counts as recent).
  for (const auto& [advance, calls] : {std::pair{0, 1}, {30, 1}, {31, 2}, {-600, 2}}) {
    SCOPED_TRACE(advance);
    clock.advance(advance);
    model->popoverDidAppear();
    ASSERT_TRUE(waitUntil([&] { return !model->store().isRefreshing(); }));
    EXPECT_EQ(claude->calls, calls);
  }
}

TEST_F(AppModelTest, ClosingThePopoverOrClearingHistoryResetsTheTransientState) {
  auto model = build();
  model->setHistoryClear(AppModel::HistoryClearStage::confirming);
  model->setPage(AppModel::Page::settings);  // the settings page keeps a pending confirmation
  EXPECT_EQ(model->historyClear(), AppModel::HistoryClearStage::confirming);
  model->toggleTrend(ServiceID::claude, "five_hour");
  model->popoverDidDisappear();
  EXPECT_EQ(model->page(), AppModel::Page::usage);
  EXPECT_EQ(model->historyClear(), AppModel::HistoryClearStage::idle);
  EXPECT_TRUE(model->expandedTrends().empty());

  model->toggleTrend(ServiceID::claude, "five_hour");
  model->confirmClearHistory();
  EXPECT_EQ(model->historyClear(), AppModel::HistoryClearStage::done);
  EXPECT_TRUE(model->expandedTrends().empty() && model->store().isClearingHistory());
  ASSERT_TRUE(waitUntil([&] { return !model->store().isClearingHistory(); }));
}

TEST_F(AppModelTest, LaunchAtLoginErrorsBecomeMessagesAndEveryAttemptCounts) {
  using Code = LoginItemError::Code;
  const std::vector<std::pair<std::function<void()>, std::optional<QString>>> attempts{
      {[] { throw LoginItemError(Code::approvalRequired); },
       "시스템 설정 → 일반 → 로그인 항목에서 Quotabox 실행을 허용하세요."},
      {[] {}, std::nullopt},
      {[] { throw LoginItemError(Code::appBundleRequired); }, "설치된 Quotabox.app에서 자동 실행을 설정하세요."},
      {[] { throw std::runtime_error("io"); },
       "로그인 항목을 변경하지 못했어요. 앱을 ‘응용 프로그램’ 폴더에서 실행했는지 확인해 주세요."},
  };
  size_t next = 0;
  loginItem = std::make_shared<ClosureLoginItem>([] { return false; }, [&](bool) { attempts.at(next).first(); });
  auto model = build();
  for (; next < attempts.size(); ++next) {
    model->setLaunchAtLogin(next % 2 == 0);
    EXPECT_EQ(model->loginItemError(), attempts[next].second);
    EXPECT_EQ(model->loginItemRevision(), int(next) + 1);
  }
}

TEST_F(AppModelTest, SwitchingNotificationsOnAsksForPermissionOffOnlyStores) {
  center->status = NotificationCenter::Authorization::notDetermined;
  defaults->setValue(QStringLiteral("notificationsEnabled"), false);
  auto model = build(75);
  awaitFuture(model->store().refresh());
  const auto evaluations = countSignal(model.get(), &AppModel::notificationsEvaluated);

  model->setNotificationsEnabled(true);
  ASSERT_TRUE(waitUntil([&] { return *evaluations == 1; }));
  EXPECT_EQ(center->requests, 1);
  ASSERT_EQ(center->added.size(), 1u);
  EXPECT_FALSE(center->added[0].second.sound);  // warning

  model->setNotificationsEnabled(false);
  drainEvents();
  EXPECT_EQ(center->requests, 1);
  EXPECT_EQ(defaults->value(QStringLiteral("notificationsEnabled")), QVariant(false));
}

// The showcase store serves one kind of forecast per window, and none while recording is off.
TEST_F(AppModelTest, TrendShowcaseShowsEveryForecastKind) {
  using Kind = TrendVerdict::Kind;
  AppModel model(LaunchOptions::parse({QStringLiteral("quotabox"), QStringLiteral("--mock-trends")}), defaults);
  awaitFuture(model.store().refresh());
  const std::vector<std::tuple<ServiceID, std::string, Kind>> expected{
      {ServiceID::claude, "five_hour", Kind::alreadyFull},
      {ServiceID::claude, "seven_day", Kind::exhaustsBeforeReset},
      {ServiceID::claude, "seven_day_opus", Kind::idle},
      {ServiceID::codex, "codex_secondary", Kind::onTrack},
      {ServiceID::codex, "codex_primary", Kind::unknown}};
  for (const auto& [service, window, kind] : expected) {
    SCOPED_TRACE(window);
    const WindowTrend trend = model.trend(service, window);
    EXPECT_EQ(trend.verdict.kind, kind);
    EXPECT_GE(trend.samples.size(), 2u);
  }
  model.applyHistoryEnabled(false);
  EXPECT_EQ(model.trend(ServiceID::claude, "five_hour"), WindowTrend::insufficient(ServiceID::claude, "five_hour"));
}
