#include <gtest/gtest.h>

#include <QTimer>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "EventLoop.h"
#include "HistoryFixtures.h"
#include "TestSandbox.h"
#include "UsageStoreFakes.h"
#include "store/UsageStore.h"

namespace fs = std::filesystem;

namespace {

using Providers = std::vector<std::shared_ptr<UsageProvider>>;

const HistoryKey claudeFiveHour{ServiceID::claude, "five_hour"};

class UsageStoreHistoryTest : public SandboxedTest {
 protected:
  // Near the real time, so that a store on the system clock accepts the samples too.
  UsageStoreHistoryTest() {
    *clock.seconds = std::floor(toEpochSeconds(systemNow()));
    t0 = *clock.seconds;
  }

  ManualClock clock;
  double t0 = 0;

  fs::path historyFile() const { return sandbox.path("data/Quotabox/history.json"); }

  UsageWindow fiveHour(double used) const { return fiveHourWindow(used, fromEpochSeconds(t0 + 4 * 3600)); }
  UsageWindow weekly(double used) const { return {"seven_day", "주간", used, fromEpochSeconds(t0 + 5 * 86400), 10080}; }

  // A provider that answers a successful Claude fetch taken at the clock's current reading, once
  // `gate` (if any) opens.
  std::shared_ptr<FakeProvider> claudeAtClock(double used = 30, Gate* gate = nullptr) {
    return std::make_shared<FakeProvider>(ServiceID::claude, [this, used, gate](std::stop_token) {
      if (gate) gate->waitRegardless();
      return okUsage(ServiceID::claude, {fiveHour(used), weekly(used / 2)}, *clock.seconds);
    });
  }

  std::unique_ptr<UsageStore> makeStore(Providers providers, bool onDisk = false) {
    return std::make_unique<UsageStore>(
        std::move(providers), std::make_shared<HistoryStore>(onDisk ? std::optional(historyFile()) : std::nullopt),
        clock.clock());
  }
  void awaitClear(UsageStore& store) {
    ASSERT_TRUE(waitUntil([&] { return !store.isClearingHistory(); }));
  }

  void writeHistory(const std::vector<HistoryEntry>& entries) {
    sandbox.writeFile("data/Quotabox/history.json", QByteArray::fromStdString(historyJson(entries)));
  }
  HistoryEntry sample(double at, double used) const { return ::sample("five_hour", used, at, t0 + 4 * 3600); }
  static std::size_t seriesSize(const UsageStore& store, const HistoryKey& key) {
    const auto it = store.history().find(key);
    return it == store.history().end() ? 0 : it->second.size();
  }
};

TEST_F(UsageStoreHistoryTest, SuccessfulFetchesOnlyAreRecordedAndTrendsComeFromThem) {
  // The failure carries windows of its own; they are not samples.
  auto failure = failedUsage(ServiceID::claude, ProviderStatus::unavailable("실패"), t0 + 300);
  failure.windows = {fiveHour(50)};
  auto store = makeStore({std::make_shared<FakeProvider>(
      ServiceID::claude, std::vector{okUsage(ServiceID::claude, {fiveHour(30)}, t0), failure,
                                     okUsage(ServiceID::claude, {fiveHour(40)}, t0 + 600),
                                     okUsage(ServiceID::claude, {fiveHour(50)}, t0 + 1200)})});
  awaitFuture(store->refresh());
  ASSERT_EQ(seriesSize(*store, claudeFiveHour), 1u);
  EXPECT_EQ(store->history().at(claudeFiveHour).front().entry(claudeFiveHour), sample(t0, 30));
  clock.advance(300);
  awaitFuture(store->refresh());
  EXPECT_EQ(seriesSize(*store, claudeFiveHour), 1u);
  for (const double step : {300, 600}) {
    clock.advance(step);
    awaitFuture(store->refresh());
  }

  // 30, 40, 50 over twenty minutes: 60 points an hour.
  const WindowTrend trend = store->trend(ServiceID::claude, "five_hour");
  EXPECT_NEAR(trend.ratePerHour.value_or(-1), 60, 1e-6);
  EXPECT_EQ(trend.verdict.kind, TrendVerdict::Kind::exhaustsBeforeReset);
  EXPECT_EQ(store->trend(ServiceID::claude, "seven_day"), WindowTrend::insufficient(ServiceID::claude, "seven_day"));

  auto inputs = countSignal(store.get(), &UsageStore::trendInputsChanged);
  store->setHistoryEnabled(false);
  EXPECT_EQ(*inputs, 1);
  EXPECT_EQ(store->trend(ServiceID::claude, "five_hour"), WindowTrend::insufficient(ServiceID::claude, "five_hour"));
}

TEST_F(UsageStoreHistoryTest, ClearingOrTogglingDuringARefreshDropsItsSamples) {
  for (const bool clear : {true, false}) {
    SCOPED_TRACE(clear ? "clear" : "recording off and on");
    if (clear) writeHistory({sample(t0 - 3600, 10)});
    Gate gate;
    auto gated = claudeAtClock(40, &gate);
    auto store = makeStore({gated}, clear);
    ASSERT_TRUE(waitUntil([&] { return seriesSize(*store, claudeFiveHour) == (clear ? 1u : 0u); }));

    const QFuture<void> refreshed = store->refresh();
    ASSERT_TRUE(waitUntil([&] { return gated->calls == 1; }));
    if (clear) {
      store->clearHistory();
      EXPECT_TRUE(store->history().empty());
      EXPECT_TRUE(store->isClearingHistory());
    } else {
      store->setHistoryEnabled(false);
      store->setHistoryEnabled(true);
    }
    gate.open();
    awaitFuture(refreshed);
    awaitClear(*store);
    drainEvents();
    EXPECT_TRUE(store->history().empty());
    if (clear) {
      EXPECT_FALSE(fs::exists(historyFile()));
    }

    // The next refresh records again, at its own time.
    clock.advance(120);
    awaitFuture(store->refresh());
    ASSERT_EQ(seriesSize(*store, claudeFiveHour), 1u);
    EXPECT_EQ(store->history().at(claudeFiveHour).front().time(), clock.now());
    if (clear) {
      EXPECT_EQ(historyOnDisk(historyFile()).size(), 2u);  // both windows of that refresh
    }
  }
}

TEST_F(UsageStoreHistoryTest, AFailedClearStopsRecordingUntilAClearSucceeds) {
  // A backup that cannot be deleted: a non-empty folder with a backup's name.
  const fs::path stuck = historyFile().string() + ".corrupt-" + std::to_string(int64_t(t0));
  fs::create_directories(stuck);
  std::ofstream(stuck / "keep") << "x";

  auto store = makeStore({claudeAtClock()}, true);
  awaitFuture(store->refresh());
  ASSERT_EQ(seriesSize(*store, claudeFiveHour), 1u);

  store->clearHistory();
  awaitClear(*store);
  EXPECT_TRUE(store->historyClearFailed());
  clock.advance(3600);
  awaitFuture(store->refresh());
  EXPECT_TRUE(store->history().empty());
  EXPECT_FALSE(fs::exists(historyFile()));

  fs::remove_all(stuck);
  store->clearHistory();
  awaitClear(*store);
  EXPECT_FALSE(store->historyClearFailed());
  clock.advance(3600);
  awaitFuture(store->refresh());
  EXPECT_EQ(seriesSize(*store, claudeFiveHour), 1u);
}

TEST_F(UsageStoreHistoryTest, WithRecordingOffRefreshesStillPruneTheFile) {
  const double day = 86400;
  writeHistory({sample(t0 - 14 * day + 600, 10), sample(t0 - 60, 20)});
  auto store = makeStore({claudeAtClock(55)}, true);
  ASSERT_TRUE(waitUntil([&] { return seriesSize(*store, claudeFiveHour) == 2; }));
  store->setHistoryEnabled(false);

  clock.advance(3600);
  awaitFuture(store->refresh());
  ASSERT_EQ(seriesSize(*store, claudeFiveHour), 1u);
  EXPECT_EQ(store->history().at(claudeFiveHour).front().usedPercent, 20);
  const auto stored = historyOnDisk(historyFile());
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored.front().at, fromEpochSeconds(t0 - 60));
}

TEST_F(UsageStoreHistoryTest, StoresWithoutAHistoryFileWriteNoneAndMocksNeverRecord) {
  auto provider = std::make_shared<FakeProvider>(ServiceID::claude, [this](std::stop_token) {
    return okUsage(ServiceID::claude, {fiveHour(30)}, toEpochSeconds(systemNow()));
  });
  UsageStore store(Providers{provider});
  awaitFuture(store.refresh());
  EXPECT_EQ(seriesSize(store, claudeFiveHour), 1u);

  // Mock data never enters the history.
  auto mock = UsageStore::mock(MockUsageProvider::Scenario::high);
  awaitFuture(mock->refresh());
  drainEvents();
  ASSERT_EQ(mock->usages().size(), 2u);
  EXPECT_TRUE(mock->history().empty());
  for (const auto& item : fs::recursive_directory_iterator(sandbox.home())) {
    EXPECT_NE(item.path().filename(), "history.json") << item.path();
  }
}

TEST_F(UsageStoreHistoryTest, HistoryWorkOutlivesADroppedStoreWithoutTouchingIt) {
  auto historyStore = std::make_shared<HistoryStore>(historyFile());
  auto store = std::make_unique<UsageStore>(Providers{claudeAtClock()}, historyStore, clock.clock());
  awaitFuture(store->refresh());
  ASSERT_TRUE(fs::exists(historyFile()));

  // Dropped with a clear in flight: the clear still empties the file.
  store->clearHistory();
  store.reset();
  awaitFuture(historyStore->load(clock.now()));
  drainEvents();
  EXPECT_FALSE(fs::exists(historyFile()));

  // Dropped just as its refresh hands samples to the history: the late snapshot lands nowhere.
  clock.advance(600);
  auto second = std::make_unique<UsageStore>(Providers{claudeAtClock(70)}, historyStore, clock.clock());
  UsageStore* raw = second.release();
  QObject::connect(raw, &UsageStore::lastRefreshChanged, raw, [raw] { raw->deleteLater(); });
  QPointer<UsageStore> watch(raw);
  raw->refresh();
  ASSERT_TRUE(waitUntil([&] { return watch.isNull(); }));
  // The samples it handed over are kept; their snapshot had no store left to reach.
  awaitFuture(historyStore->load(clock.now()));
  drainEvents();
  const auto stored = historyOnDisk(historyFile());
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored.front().usedPercent, 70);
}

}  // namespace
