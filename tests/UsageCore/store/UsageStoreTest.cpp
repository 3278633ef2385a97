#include <gtest/gtest.h>

#include <QTimer>

#include "EventLoop.h"
#include "TestSandbox.h"
#include "UsageStoreFakes.h"
#include "store/UsageStore.h"

namespace {

using Providers = std::vector<std::shared_ptr<UsageProvider>>;

const UsageWindow fiveHour("five_hour", "5시간", 42, fromEpochSeconds(1760010000), 300);
const UsageWindow weekly("seven_day", "주간", 17, fromEpochSeconds(1760500000), 10080);

int staleCount(const ServiceUsage& usage) {
  return int(std::count_if(usage.metrics.begin(), usage.metrics.end(), [](const auto& m) { return m.id == "stale"; }));
}

QTimer* refreshTimer(UsageStore& store) { return store.findChild<QTimer*>(QStringLiteral("refreshTimer")); }
bool sleeping(UsageStore& store) { return refreshTimer(store) && refreshTimer(store)->isActive(); }

// A provider that answers once the gate opens; with honourStop it also gives up on a stop request.
std::shared_ptr<FakeProvider> gated(ServiceID service, Gate& gate, bool honourStop) {
  return std::make_shared<FakeProvider>(service, [&gate, service, honourStop](std::stop_token stop) {
    honourStop ? void(gate.wait(stop)) : gate.waitRegardless();
    return okUsage(service, {fiveHour}, 1);
  });
}
std::shared_ptr<FakeProvider> instant(ServiceID service) {
  return std::make_shared<FakeProvider>(service, std::vector{okUsage(service, {}, 1)});
}

class UsageStoreTest : public SandboxedTest {
 protected:
  ManualClock clock;

  std::unique_ptr<UsageStore> makeStore(Providers providers) {
    return std::make_unique<UsageStore>(std::move(providers), std::make_shared<HistoryStore>(std::nullopt),
                                        clock.clock());
  }
  // Runs refreshes one after another and returns the stored usage of `service` after them.
  ServiceUsage afterSequence(ServiceID service, std::vector<ServiceUsage> results) {
    const auto count = results.size();
    auto store = makeStore({std::make_shared<FakeProvider>(service, std::move(results))});
    for (std::size_t i = 0; i < count; ++i) awaitFuture(store->refresh());
    return store->usages().at(service);
  }
};

TEST_F(UsageStoreTest, FailuresAfterSuccessKeepTheLastGoodValues) {
  auto good = okUsage(ServiceID::claude, {fiveHour, weekly}, 100);
  good.metrics.push_back({"credits", "크레딧", "12"});
  const auto stored =
      afterSequence(ServiceID::claude, {good, failedUsage(ServiceID::claude, ProviderStatus::unavailable("A"), 200),
                                        failedUsage(ServiceID::claude, ProviderStatus::unavailable("B"), 300)});
  EXPECT_EQ(stored.status, ProviderStatus::unavailable("B"));
  EXPECT_EQ(stored.windows, good.windows);
  EXPECT_EQ(stored.fetchedAt, good.fetchedAt);
  EXPECT_EQ(stored.planName, good.planName);
  ASSERT_EQ(stored.metrics.size(), 2u);
  EXPECT_EQ(stored.metrics[0].id, "credits");
  EXPECT_EQ(stored.metrics[1], (UsageMetric{"stale", "이전 기록", "갱신 실패 · 마지막 성공값이에요"}));
}

TEST_F(UsageStoreTest, RetainingFollowsTheStatusAndWindowsOfThePreviousValue) {
  const auto okEmpty = okUsage(ServiceID::claude, {}, 100);
  const auto failA = failedUsage(ServiceID::claude, ProviderStatus::unavailable("A"), 200);
  const auto failB = failedUsage(ServiceID::claude, ProviderStatus::notSignedIn(), 300);
  // A service that never succeeded holds the plain failure, and so does one whose last value was a failure.
  EXPECT_EQ(afterSequence(ServiceID::claude, {failA}), failA);
  EXPECT_EQ(afterSequence(ServiceID::claude, {failB, failA}), failA);
  // ok without windows is still a success: the failure after it is retained...
  const auto retained = afterSequence(ServiceID::claude, {okEmpty, failA});
  EXPECT_EQ(retained.status, failA.status);
  EXPECT_EQ(retained.fetchedAt, okEmpty.fetchedAt);
  EXPECT_EQ(staleCount(retained), 1);
  // ...but a retained value without windows is replaced by the next failure.
  EXPECT_EQ(afterSequence(ServiceID::claude, {okEmpty, failA, failB}), failB);
  // Success replaces a retained value whole, dropping the stale mark.
  const auto fresh = okUsage(ServiceID::claude, {weekly}, 400);
  EXPECT_EQ(afterSequence(ServiceID::claude, {okUsage(ServiceID::claude, {fiveHour}, 100), failA, fresh}), fresh);
}

TEST_F(UsageStoreTest, ResultsApplyAsEachFetchCompletesAndAnOverlappingRefreshReturnsAtOnce) {
  Gate gate;
  auto provider = gated(ServiceID::claude, gate, false);
  auto store = makeStore({provider, instant(ServiceID::codex)});
  auto refreshing = countSignal(store.get(), &UsageStore::isRefreshingChanged);
  const QFuture<void> first = store->refresh();
  ASSERT_TRUE(waitUntil([&] { return store->usages().count(ServiceID::codex) == 1 && provider->calls == 1; }));
  EXPECT_EQ(store->usages().count(ServiceID::claude), 0u);
  EXPECT_TRUE(store->isRefreshing());
  EXPECT_FALSE(store->lastRefresh().has_value());
  EXPECT_TRUE(store->refresh().isFinished());
  EXPECT_FALSE(first.isFinished());
  gate.open();
  awaitFuture(first);
  EXPECT_EQ(store->usages().count(ServiceID::claude), 1u);
  EXPECT_EQ(provider->calls, 1);
  EXPECT_EQ(*refreshing, 2);
  EXPECT_EQ(store->lastRefresh(), clock.now());
}

TEST_F(UsageStoreTest, ThrowingProviderDoesNotStopTheRefresh) {
  auto throwing = std::make_shared<FakeProvider>(
      ServiceID::claude, [](std::stop_token) -> ServiceUsage { throw std::runtime_error("broken provider"); });
  auto store = makeStore({throwing, instant(ServiceID::codex)});
  awaitFuture(store->refresh());
  EXPECT_FALSE(store->isRefreshing());
  EXPECT_EQ(store->usages().count(ServiceID::claude), 0u);
  EXPECT_EQ(store->usages().count(ServiceID::codex), 1u);
  EXPECT_TRUE(store->lastRefresh().has_value());
}

TEST_F(UsageStoreTest, NotifiesOnlyOnChange) {
  auto store = makeStore({instant(ServiceID::codex)});
  auto last = countSignal(store.get(), &UsageStore::lastRefreshChanged);
  auto usages = countSignal(store.get(), &UsageStore::usagesChanged);
  // Same clock reading and same result: the second refresh changes nothing.
  awaitFuture(store->refresh());
  awaitFuture(store->refresh());
  EXPECT_EQ(*last, 1);
  EXPECT_EQ(*usages, 1);
}

TEST_F(UsageStoreTest, StartRefreshesAtOnceSleepsOnOneTimerAndRestartsAfterStop) {
  auto provider = instant(ServiceID::codex);
  auto store = makeStore({provider});
  store->setRefreshInterval(300);
  store->start();
  store->start();
  ASSERT_TRUE(waitUntil([&] { return sleeping(*store); }));
  EXPECT_EQ(provider->calls, 1);
  EXPECT_EQ(store->findChildren<QTimer*>(QStringLiteral("refreshTimer")).size(), 1);
  EXPECT_EQ(refreshTimer(*store)->interval(), 300000);
  // Stopped while sleeping, then started again: a new loop with an immediate refresh.
  store->stop();
  EXPECT_FALSE(sleeping(*store));
  store->start();
  ASSERT_TRUE(waitUntil([&] { return provider->calls == 2 && sleeping(*store); }));
}

TEST_F(UsageStoreTest, IntervalsBelowOneSecondPauseOneSecondAndChangesApplyAtTheNextSleep) {
  auto provider = instant(ServiceID::codex);
  auto store = makeStore({provider});
  auto changed = countSignal(store.get(), &UsageStore::refreshIntervalChanged);
  store->setRefreshInterval(0);
  store->setRefreshInterval(0);
  store->setRefreshInterval(std::nan(""));
  EXPECT_EQ(*changed, 1);
  EXPECT_EQ(store->refreshInterval(), 0);
  store->start();
  ASSERT_TRUE(waitUntil([&] { return sleeping(*store); }));
  EXPECT_EQ(refreshTimer(*store)->interval(), 1000);
  // A sleep in progress is not restarted.
  store->setRefreshInterval(7);
  EXPECT_EQ(refreshTimer(*store)->interval(), 1000);
  ASSERT_TRUE(waitUntil([&] { return provider->calls == 2 && sleeping(*store); }));
  EXPECT_EQ(refreshTimer(*store)->interval(), 7000);
}

TEST_F(UsageStoreTest, StopCancelsTheLoopsRefreshAndDiscardsLateResults) {
  Gate gate;
  auto provider = gated(ServiceID::codex, gate, true);
  auto store = makeStore({provider});
  store->start();
  ASSERT_TRUE(waitUntil([&] { return provider->calls == 1; }));
  store->stop();
  ASSERT_TRUE(waitUntil([&] { return !store->isRefreshing(); }));
  EXPECT_TRUE(provider->sawStop);
  EXPECT_TRUE(store->usages().empty());
  EXPECT_FALSE(store->lastRefresh().has_value());
}

TEST_F(UsageStoreTest, StopAndStartDuringARefreshLetTheOldOneWindDown) {
  Gate gate;
  auto provider = gated(ServiceID::claude, gate, false);
  auto store = makeStore({provider});
  store->start();
  ASSERT_TRUE(waitUntil([&] { return provider->calls == 1; }));
  store->stop();
  store->start();
  // The new loop's first refresh found the old one still running and went straight to sleep.
  ASSERT_TRUE(waitUntil([&] { return sleeping(*store); }));
  EXPECT_EQ(provider->calls, 1);
  gate.open();
  ASSERT_TRUE(waitUntil([&] { return !store->isRefreshing(); }));
  EXPECT_TRUE(provider->sawStop);
  EXPECT_TRUE(store->usages().empty());
}

TEST_F(UsageStoreTest, StopDoesNotCancelADirectRefresh) {
  Gate gate;
  auto provider = gated(ServiceID::claude, gate, true);
  auto store = makeStore({provider});
  const QFuture<void> direct = store->refresh();
  ASSERT_TRUE(waitUntil([&] { return provider->calls == 1; }));
  store->start();
  store->stop();
  gate.open();
  awaitFuture(direct);
  EXPECT_FALSE(provider->sawStop);
  EXPECT_EQ(store->usages().count(ServiceID::claude), 1u);
}

TEST_F(UsageStoreTest, DroppingTheStoreMidRefreshStopsProvidersAndAppliesNothing) {
  Gate gate;
  auto waiting = gated(ServiceID::claude, gate, true);
  auto store = makeStore({waiting, instant(ServiceID::codex)});
  int notified = 0;
  QObject::connect(store.get(), &UsageStore::usagesChanged, [&] { ++notified; });
  const QFuture<void> direct = store->refresh();
  store->start();
  ASSERT_TRUE(waitUntil([&] { return waiting->calls == 1 && store->usages().count(ServiceID::codex) == 1; }));
  store.reset();
  EXPECT_TRUE(waiting->sawStop);
  // A caller waiting for that refresh is not left hanging.
  EXPECT_TRUE(direct.isFinished());
  spinFor(std::chrono::milliseconds(50));
  EXPECT_EQ(notified, 1);
}

}  // namespace
