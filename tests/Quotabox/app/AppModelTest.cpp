#include <gtest/gtest.h>

#include "UsageStoreFakes.h"
#include "app/AppModel.h"
#include "login/ClosureLoginItem.h"
#include "EventLoop.h"
#include "login/LoginItemError.h"
#include "TestSandbox.h"

namespace {

class FakeCenter : public NotificationCenter {
 public:
  Authorization authorizationStatus() override { return status; }
  bool requestAuthorization() override {
    ++requests;
    status = Authorization::allowed;
    return true;
  }
  void add(const QString& identifier, const NotificationContent& content) override {
    added.emplace_back(identifier, content);
  }

  Authorization status = Authorization::allowed;
  int requests = 0;
  std::vector<std::pair<QString, NotificationContent>> added;
};

class AppModelTest : public SandboxedTest {
 protected:
  std::shared_ptr<SettingsDomain> defaults = SettingsDomain::suite(QStringLiteral("com.orrisfen.Quotabox.tests"));
  ManualClock clock;
  std::shared_ptr<FakeCenter> center = std::make_shared<FakeCenter>();
  std::shared_ptr<FakeProvider> claude;
  std::shared_ptr<FakeProvider> codex;

  // A model over two scripted providers: Claude's five-hour window at `percent`.
  std::unique_ptr<AppModel> makeModel(double percent = 40, LaunchOptions options = {},
                                      std::shared_ptr<LoginItemControlling> loginItem = nullptr) {
    const double now = *clock.seconds;
    claude = std::make_shared<FakeProvider>(
        ServiceID::claude,
        std::vector<ServiceUsage>{okUsage(
            ServiceID::claude, {UsageWindow("five_hour", "5시간", percent, clock.now() + Seconds(3600), 300)}, now)});
    codex = std::make_shared<FakeProvider>(
        ServiceID::codex, std::vector<ServiceUsage>{failedUsage(ServiceID::codex, ProviderStatus::notSignedIn(), now)});
    AppModel::Parts parts;
    parts.store = std::make_unique<UsageStore>(std::vector<std::shared_ptr<UsageProvider>>{claude, codex},
                                               std::make_shared<HistoryStore>(std::nullopt), clock.clock());
    parts.notifier = std::make_unique<ThresholdNotifier>(defaults, QStringLiteral("mock"), center);
    parts.loginItem = loginItem ? loginItem : std::make_shared<ClosureLoginItem>([] { return false; }, [](bool) {});
    parts.clock = clock.clock();
    return std::make_unique<AppModel>(options, defaults, std::move(parts));
  }

  static void refreshOnce(AppModel& model) { awaitFuture(model.store().refresh()); }
};

}  // namespace

TEST_F(AppModelTest, BuildsFromSettingsAndPicksTheNotifierNamespaceBySource) {
  defaults->setValue(QStringLiteral("historyEnabled"), false);
  auto model = makeModel();
  EXPECT_FALSE(model->store().historyEnabled());

  LaunchOptions live;
  LaunchOptions mock;
  mock.source = LaunchOptions::Source::of(LaunchOptions::Source::Kind::stale);
  AppModel::Parts parts;
  parts.store = std::make_unique<UsageStore>(std::vector<std::shared_ptr<UsageProvider>>{});
  EXPECT_EQ(AppModel(live, defaults, std::move(parts)).notifier().stateKey(), "notifiedLevels.live");
  EXPECT_EQ(AppModel(mock, defaults).notifier().stateKey(), "notifiedLevels.mock");
  EXPECT_EQ(AppModel(mock, defaults).store().providers().size(), 2u);
}

TEST_F(AppModelTest, StartRefreshesAndEvaluatesOncePerCompletedRefresh) {
  defaults->setValue(QStringLiteral("refreshInterval"), 600.0);
  center->status = NotificationCenter::Authorization::notDetermined;
  auto model = makeModel(95);
  const auto evaluations = countSignal(model.get(), &AppModel::notificationsEvaluated);
  model->start();
  EXPECT_EQ(model->store().refreshInterval(), 600);
  EXPECT_TRUE(model->store().isRunning());
  // The first refresh and the start-up evaluation both lead to an evaluation.
  ASSERT_TRUE(waitUntil([&] { return *evaluations == 2; }));
  EXPECT_EQ(center->requests, 1);
  EXPECT_EQ(model->notifier().authorization(), ThresholdNotifier::Authorization::allowed);
  ASSERT_EQ(center->added.size(), 1u);
  EXPECT_EQ(center->added[0].first, "usage.claude.five_hour");
  EXPECT_TRUE(center->added[0].second.sound);

  ASSERT_TRUE(waitUntil([&] { return !model->store().isRefreshing(); }));
  clock.advance(120);
  refreshOnce(*model);
  ASSERT_TRUE(waitUntil([&] { return *evaluations == 3; }));
  spinFor(std::chrono::milliseconds(50));
  EXPECT_EQ(*evaluations, 3);
  EXPECT_EQ(center->added.size(), 1u);  // same level, same cycle
  model->store().stop();
}

TEST_F(AppModelTest, OpeningThePopoverRefreshesOnlyAMinuteAfterTheLastRefresh) {
  auto model = makeModel();
  model->popoverDidAppear();  // never refreshed: refreshes
  ASSERT_TRUE(waitUntil([&] { return model->store().lastRefresh().has_value() && !model->store().isRefreshing(); }));
  EXPECT_EQ(claude->calls, 1);

  clock.advance(30);
  model->popoverDidAppear();
  spinFor(std::chrono::milliseconds(50));
  EXPECT_EQ(claude->calls, 1);

  clock.advance(31);
  model->popoverDidAppear();
  ASSERT_TRUE(waitUntil([&] { return claude->calls == 2 && !model->store().isRefreshing(); }));

  // A last refresh in the future also counts as recent.
  clock.advance(-600);
  model->popoverDidAppear();
  spinFor(std::chrono::milliseconds(50));
  EXPECT_EQ(claude->calls, 2);
}

TEST_F(AppModelTest, TrendRowsPagesAndTheClearStagesFollowThePopover) {
  auto model = makeModel();
  model->toggleTrend(ServiceID::claude, "five_hour");
  model->toggleTrend(ServiceID::claude, "five_hour");
  EXPECT_TRUE(model->expandedTrends().empty());
  model->toggleTrend(ServiceID::claude, "five_hour");
  model->toggleTrend(ServiceID::codex, "codex_primary");
  EXPECT_EQ(model->expandedTrends(), (std::set<std::string>{"codex.codex_primary"}));

  model->setPage(AppModel::Page::settings);
  model->setHistoryClear(AppModel::HistoryClearStage::confirming);
  model->setPage(AppModel::Page::settings);
  EXPECT_EQ(model->historyClear(), AppModel::HistoryClearStage::confirming);

  const auto trendSignals = countSignal(model.get(), &AppModel::expandedTrendsChanged);
  model->popoverDidDisappear();
  EXPECT_EQ(model->page(), AppModel::Page::usage);
  EXPECT_EQ(model->historyClear(), AppModel::HistoryClearStage::idle);
  EXPECT_TRUE(model->expandedTrends().empty());
  model->popoverDidDisappear();
  EXPECT_EQ(*trendSignals, 2);  // also when nothing was open

  model->setPage(AppModel::Page::settings);
  model->toggleTrend(ServiceID::claude, "five_hour");
  model->confirmClearHistory();
  EXPECT_EQ(model->historyClear(), AppModel::HistoryClearStage::done);
  EXPECT_TRUE(model->expandedTrends().empty());
  EXPECT_TRUE(model->store().isClearingHistory());
  model->setPage(AppModel::Page::usage);
  EXPECT_EQ(model->historyClear(), AppModel::HistoryClearStage::idle);
  ASSERT_TRUE(waitUntil([&] { return !model->store().isClearingHistory(); }));
}

TEST_F(AppModelTest, LaunchAtLoginErrorsBecomeMessagesAndEveryAttemptCounts) {
  std::vector<std::function<void()>> outcomes = {
      [] { throw LoginItemError(LoginItemError::Code::approvalRequired); }, [] {},
      [] { throw LoginItemError(LoginItemError::Code::appBundleRequired); }, [] { throw std::runtime_error("io"); }};
  size_t next = 0;
  auto loginItem = std::make_shared<ClosureLoginItem>([] { return false; }, [&](bool) { outcomes.at(next++)(); });
  auto model = makeModel(40, {}, loginItem);

  model->setLaunchAtLogin(true);
  EXPECT_EQ(model->loginItemError(), "시스템 설정 → 일반 → 로그인 항목에서 Quotabox 실행을 허용하세요.");
  model->setLaunchAtLogin(true);
  EXPECT_FALSE(model->loginItemError().has_value());
  EXPECT_EQ(model->loginItemRevision(), 2);
  model->setLaunchAtLogin(true);
  EXPECT_EQ(model->loginItemError(), "설치된 Quotabox.app에서 자동 실행을 설정하세요.");
  model->setLaunchAtLogin(false);
  EXPECT_EQ(model->loginItemError(),
            "로그인 항목을 변경하지 못했어요. 앱을 ‘응용 프로그램’ 폴더에서 실행했는지 확인해 주세요.");
  EXPECT_EQ(model->loginItemRevision(), 4);
}

TEST_F(AppModelTest, ShowcaseTrendsOnlyForWindowsTheStoreHolds) {
  LaunchOptions options;
  options.source = LaunchOptions::Source::of(LaunchOptions::Source::Kind::trends);
  AppModel model(options, defaults);
  refreshOnce(model);
  const WindowTrend weekly = model.trend(ServiceID::claude, "seven_day");
  EXPECT_EQ(weekly.verdict.kind, TrendVerdict::Kind::exhaustsBeforeReset);
  EXPECT_EQ(weekly.ratePerHour, 1.2);
  // Not held by the store: the store's own (empty) trend.
  EXPECT_EQ(model.trend(ServiceID::claude, "seven_day_sonnet"),
            WindowTrend::insufficient(ServiceID::claude, "seven_day_sonnet"));
  ASSERT_EQ(model.orderedUsages().size(), 2u);
  EXPECT_EQ(model.orderedUsages()[1].first, ServiceID::codex);
  EXPECT_TRUE(model.orderedUsages()[1].second.has_value());
}

TEST_F(AppModelTest, SettingsThatInvolveTheStoreAreAppliedToBoth) {
  auto model = makeModel();
  model->start();
  ASSERT_TRUE(waitUntil([&] { return claude->calls == 1 && !model->store().isRefreshing(); }));

  model->applyRefreshInterval(120);  // unchanged: no restart
  spinFor(std::chrono::milliseconds(50));
  EXPECT_EQ(claude->calls, 1);

  model->applyRefreshInterval(300);
  EXPECT_EQ(model->settings().refreshInterval(), 300);
  EXPECT_EQ(model->store().refreshInterval(), 300);
  EXPECT_EQ(defaults->value(QStringLiteral("refreshInterval")).toDouble(), 300);
  ASSERT_TRUE(waitUntil([&] { return claude->calls == 2; }));

  model->applyHistoryEnabled(false);
  EXPECT_FALSE(model->settings().historyEnabled());
  EXPECT_FALSE(model->store().historyEnabled());
  model->store().stop();
}

TEST_F(AppModelTest, SwitchingNotificationsOnAsksForPermissionOffOnlyStores) {
  center->status = NotificationCenter::Authorization::notDetermined;
  defaults->setValue(QStringLiteral("notificationsEnabled"), false);
  auto model = makeModel(75);
  refreshOnce(*model);
  const auto evaluations = countSignal(model.get(), &AppModel::notificationsEvaluated);

  model->setNotificationsEnabled(true);
  ASSERT_TRUE(waitUntil([&] { return *evaluations == 1; }));
  EXPECT_EQ(center->requests, 1);
  EXPECT_EQ(model->notifier().authorization(), ThresholdNotifier::Authorization::allowed);
  ASSERT_EQ(center->added.size(), 1u);
  EXPECT_FALSE(center->added[0].second.sound);  // warning

  model->setNotificationsEnabled(false);
  spinFor(std::chrono::milliseconds(50));
  EXPECT_EQ(center->requests, 1);
  EXPECT_EQ(defaults->value(QStringLiteral("notificationsEnabled")), QVariant(false));
}
