#include <gtest/gtest.h>

#include <QTimer>
#include <chrono>
#include <mutex>
#include <thread>

#include "EventLoop.h"
#include "LogCapture.h"
#include "TestSandbox.h"
#include "UsageStoreFakes.h"
#include "codex/CodexUsageProvider.h"
#include "model/PreviewingProvider.h"
#include "store/UsageStore.h"

namespace {

using Providers = std::vector<std::shared_ptr<UsageProvider>>;

const UsageWindow fiveHour = fiveHourWindow(42, fromEpochSeconds(1760010000));
const UsageWindow weekly("seven_day", "주간", 17, fromEpochSeconds(1760500000), 10080);

QTimer* refreshTimer(UsageStore& store) { return store.findChild<QTimer*>(QStringLiteral("refreshTimer")); }
bool sleeping(UsageStore& store) { return refreshTimer(store) && refreshTimer(store)->isActive(); }

std::shared_ptr<FakeProvider> instant(ServiceID service) {
  return std::make_shared<FakeProvider>(service, std::vector{okUsage(service, {}, 1)});
}

class UsageStoreTest : public SandboxedTest {
 protected:
  ManualClock clock;
  Gate gate;

  // A provider that answers once the gate opens; with honourStop it also gives up on a stop request.
  std::shared_ptr<FakeProvider> gated(ServiceID service, bool honourStop) {
    return std::make_shared<FakeProvider>(service, [this, service, honourStop](std::stop_token stop) {
      honourStop ? void(gate.wait(stop)) : gate.waitRegardless();
      return okUsage(service, {fiveHour}, 1);
    });
  }

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

TEST_F(UsageStoreTest, FailuresKeepTheLastSuccessMarkedStaleUntilTheNextSuccess) {
  const auto retained = [](ServiceUsage good, ProviderStatus status) {
    good.status = std::move(status);
    good.metrics.push_back({"stale", "이전 기록", "갱신 실패 · 마지막 성공값이에요"});
    return good;
  };
  auto good = okUsage(ServiceID::claude, {fiveHour, weekly}, 100);
  good.metrics.push_back({"credits", "크레딧", "12"});
  const auto okEmpty = okUsage(ServiceID::claude, {}, 100);
  const auto failA = failedUsage(ServiceID::claude, ProviderStatus::unavailable("A"), 200);
  const auto failB = failedUsage(ServiceID::claude, ProviderStatus::notSignedIn(), 300);
  const auto fresh = okUsage(ServiceID::claude, {weekly}, 400);
  const struct {
    const char* name;
    std::vector<ServiceUsage> sequence;
    ServiceUsage stored;
  } cases[] = {
      {"marked once over two failures", {good, failA, failB}, retained(good, failB.status)},
      {"never succeeded", {failB, failA}, failA},
      {"success without windows", {okEmpty, failA}, retained(okEmpty, failA.status)},
      {"retained value without windows", {okEmpty, failA, failB}, failB},
      {"success replaces a retained value", {good, failA, fresh}, fresh},
  };
  for (const auto& [name, sequence, stored] : cases) {
    EXPECT_EQ(afterSequence(ServiceID::claude, sequence), stored) << name;
  }
}

TEST_F(UsageStoreTest, ResultsApplyAsEachFetchCompletesAndAnOverlappingRefreshReturnsAtOnce) {
  auto provider = gated(ServiceID::claude, false);
  auto store = makeStore({provider, instant(ServiceID::codex)});
  auto refreshing = countSignal(store.get(), &UsageStore::isRefreshingChanged);
  auto last = countSignal(store.get(), &UsageStore::lastRefreshChanged);
  auto usages = countSignal(store.get(), &UsageStore::usagesChanged);
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
  // Same clock reading and same results: a further refresh notifies nothing.
  awaitFuture(store->refresh());
  EXPECT_EQ(*last, 1);
  EXPECT_EQ(*usages, 2);
}

TEST_F(UsageStoreTest, ThrowingProviderDoesNotStopTheRefreshAndIsLogged) {
  auto throwing = std::make_shared<FakeProvider>(
      ServiceID::claude, [](std::stop_token) -> ServiceUsage { throw std::runtime_error("broken provider"); });
  auto store = makeStore({throwing, instant(ServiceID::codex)});
  const LogCapture log;  // warnings need no rules
  awaitFuture(store->refresh());
  EXPECT_TRUE(log.contains("quotabox.core: fetch of claude threw")) << log.lines().join('\n').toStdString();
  EXPECT_FALSE(store->isRefreshing());
  EXPECT_EQ(store->usages().count(ServiceID::claude), 0u);
  EXPECT_EQ(store->usages().count(ServiceID::codex), 1u);
  EXPECT_TRUE(store->lastRefresh().has_value());
}

// Providers start side work on the store's workers, and never on them once the store is gone.
TEST_F(UsageStoreTest, ProvidersLaunchOnTheStoresWorkersWhileItLives) {
  struct Launching : FakeProvider {
    using FakeProvider::FakeProvider;
    void useLauncher(Launcher launch) override { launcher = std::move(launch); }
    Launcher launcher;
  };
  auto provider = std::make_shared<Launching>(ServiceID::claude, std::vector{okUsage(ServiceID::claude, {}, 1)});
  auto store = makeStore({provider});
  ASSERT_TRUE(provider->launcher);
  std::atomic<bool> ran = false;
  std::thread::id where;
  provider->launcher([&] {
    where = std::this_thread::get_id();
    ran = true;
  });
  store.reset();  // waits for its workers
  EXPECT_TRUE(ran);
  EXPECT_NE(where, std::this_thread::get_id());
  EXPECT_FALSE(provider->launcher);
}

TEST_F(UsageStoreTest, TheLoopRefreshesAtOnceThenSleepsAtLeastASecondOnOneTimer) {
  auto provider = instant(ServiceID::codex);
  auto store = makeStore({provider});
  auto changed = countSignal(store.get(), &UsageStore::refreshIntervalChanged);
  store->setRefreshInterval(0);
  store->setRefreshInterval(std::nan(""));
  EXPECT_EQ(*changed, 1);
  store->start();
  store->start();
  ASSERT_TRUE(waitUntil([&] { return sleeping(*store); }));
  EXPECT_EQ(provider->calls, 1);
  EXPECT_EQ(store->findChildren<QTimer*>(QStringLiteral("refreshTimer")).size(), 1);
  EXPECT_EQ(refreshTimer(*store)->interval(), 1000);
  // A sleep in progress is not restarted; a new interval applies from the next sleep.
  store->setRefreshInterval(300);
  EXPECT_EQ(refreshTimer(*store)->interval(), 1000);
  ASSERT_TRUE(waitUntil([&] { return provider->calls == 2 && sleeping(*store); }));
  EXPECT_EQ(refreshTimer(*store)->interval(), 300000);
  // Stopped while sleeping, then started again: a new loop with an immediate refresh.
  store->stop();
  EXPECT_FALSE(sleeping(*store));
  store->start();
  ASSERT_TRUE(waitUntil([&] { return provider->calls == 3 && sleeping(*store); }));
}

TEST_F(UsageStoreTest, StopCancelsTheLoopsRefreshButNotADirectOne) {
  for (const bool direct : {false, true}) {
    SCOPED_TRACE(direct ? "direct refresh" : "the loop's refresh");
    auto provider = gated(ServiceID::claude, true);
    auto store = makeStore({provider});
    if (direct) store->refresh();
    store->start();
    ASSERT_TRUE(waitUntil([&] { return provider->calls == 1; }));
    store->stop();
    if (direct) gate.open();
    ASSERT_TRUE(waitUntil([&] { return !store->isRefreshing(); }));
    EXPECT_EQ(provider->sawStop, !direct);
    // The cancelled refresh applies nothing; the direct one applies its result.
    EXPECT_EQ(store->usages().size(), direct ? 1u : 0u);
    EXPECT_EQ(store->lastRefresh().has_value(), direct);
  }
}

TEST_F(UsageStoreTest, StopAndStartDuringARefreshLetTheOldOneWindDown) {
  auto provider = gated(ServiceID::claude, false);
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

TEST_F(UsageStoreTest, DroppingTheStoreMidRefreshStopsProvidersAndAppliesNothing) {
  auto waiting = gated(ServiceID::claude, true);
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
  drainEvents();
  EXPECT_EQ(notified, 1);
}

// The order of the live services is checked end to end by the app's report test.
TEST_F(UsageStoreTest, LiveCodexReadsTheConfiguredHomeWithAReaderOfItsOwn) {
  sandbox.setEnv("CODEX_HOME", QByteArray::fromStdString(sandbox.path("codex-home").string()));
  const auto codex = [] {
    return std::dynamic_pointer_cast<CodexUsageProvider>(UsageStore::live()->providers().at(1));
  };
  ASSERT_TRUE(codex());
  EXPECT_EQ(codex()->root(), sandbox.path("codex-home"));
  EXPECT_NE(codex(), codex());
}

}  // namespace

// A provider that hands out an early result, then waits for the gate before its final one.
class PreviewingFake : public UsageProvider, public PreviewingProvider {
 public:
  PreviewingFake(Gate& gate, ServiceUsage early, ServiceUsage final)
      : m_gate(gate), m_early(std::move(early)), m_final(std::move(final)) {}
  ServiceID service() const override { return ServiceID::codex; }
  ServiceUsage fetch(std::stop_token stop) override { return fetchWithPreview(stop, {}); }
  ServiceUsage fetchWithPreview(std::stop_token stop, const Preview& preview) override {
    if (preview) preview(m_early);
    m_gate.wait(stop);
    return m_final;
  }

 private:
  Gate& m_gate;
  ServiceUsage m_early, m_final;
};

TEST_F(UsageStoreTest, AnEarlyResultShowsWhileTheFetchRunsAndOnlyTheFinalOneIsRecorded) {
  const UsageWindow primary("codex_primary", "5시간", 42, fromEpochSeconds(*clock.seconds + 3600), 300);
  const auto early = okUsage(ServiceID::codex, {primary}, *clock.seconds - 60);
  auto final = early;
  final.windows[0].usedPercent = 55;
  final.fetchedAt = fromEpochSeconds(*clock.seconds - 30);
  auto store = makeStore({std::make_shared<PreviewingFake>(gate, early, final)});
  const QFuture<void> refreshed = store->refresh();
  ASSERT_TRUE(waitUntil([&] { return store->usages().count(ServiceID::codex) == 1; }));
  EXPECT_EQ(store->usages().at(ServiceID::codex), early);
  EXPECT_TRUE(store->isRefreshing());
  gate.open();
  awaitFuture(refreshed);
  EXPECT_EQ(store->usages().at(ServiceID::codex), final);
  ASSERT_TRUE(waitUntil([&] { return store->history().size() == 1; }));
  const auto& series = store->history().begin()->second;
  ASSERT_EQ(series.size(), 1u);
  EXPECT_EQ(series[0].usedPercent, 55);
}

// A flood of requests (a held tray click, a script) starts one refresh, queues one more, and that
// one waits out the spacing.
TEST_F(UsageStoreTest, RequestedRefreshesAreCoalescedAndSpacedApart) {
  std::vector<std::chrono::steady_clock::time_point> starts;
  std::mutex mutex;
  auto provider = std::make_shared<FakeProvider>(ServiceID::claude, [&](std::stop_token stop) {
    {
      std::lock_guard lock(mutex);
      starts.push_back(std::chrono::steady_clock::now());
    }
    gate.wait(stop);
    return okUsage(ServiceID::claude, {fiveHour}, 1);
  });
  auto store = makeStore({provider});
  store->setManualRefreshSpacing(std::chrono::milliseconds(300));
  for (int i = 0; i < 1000; ++i) store->requestRefresh();
  ASSERT_TRUE(waitUntil([&] { return provider->calls == 1; }));
  EXPECT_TRUE(store->hasQueuedRefresh());
  gate.open();
  ASSERT_TRUE(waitUntil([&] { return provider->calls == 2 && !store->isRefreshing(); }));
  EXPECT_FALSE(store->hasQueuedRefresh());
  // Measured where the fetches begin, a little after each refresh starts.
  EXPECT_GE(starts.at(1) - starts.at(0), std::chrono::milliseconds(250));
  // The spacing is read on the store's clock: once it has passed, a request runs at once.
  clock.advance(1);
  store->requestRefresh();
  EXPECT_TRUE(store->isRefreshing());
  EXPECT_TRUE(waitUntil([&] { return provider->calls == 3; }));
}
