#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "mock/MockUsageProvider.h"

namespace {

using Scenario = MockUsageProvider::Scenario;

const TimePoint kNow = fromEpochSeconds(1'763'500'000);

ServiceUsage ok(ServiceID service, std::string plan, std::vector<UsageWindow> windows,
                std::vector<UsageMetric> metrics = {}) {
  return {service, std::move(plan), std::move(windows), std::move(metrics), kNow, ProviderStatus::ok()};
}

ServiceUsage claude(double fiveHour, double week, double opus) {
  return ok(ServiceID::claude, "Max 5x",
            {UsageWindow("five_hour", "5시간", fiveHour, kNow + Seconds(8040), 300),
             UsageWindow("seven_day", "주간", week, kNow + Seconds(259200), 10080),
             UsageWindow("seven_day_opus", "주간 (Opus)", opus, kNow + Seconds(259200), 10080)});
}

ServiceUsage codex(double week) {
  return ok(ServiceID::codex, "Plus", {UsageWindow("codex_primary", "주간", week, kNow + Seconds(432000), 10080)},
            {{"credits", "크레딧", "—"}});
}

}  // namespace

TEST(MockUsageProvider, ScriptedResults) {
  EXPECT_EQ(MockUsageProvider::usage(ServiceID::claude, Scenario::normal, kNow), claude(38, 21, 9));
  EXPECT_EQ(MockUsageProvider::usage(ServiceID::claude, Scenario::high, kNow), claude(88, 91, 89));
  EXPECT_EQ(MockUsageProvider::usage(ServiceID::codex, Scenario::normal, kNow), codex(7));
  EXPECT_EQ(MockUsageProvider::usage(ServiceID::codex, Scenario::high, kNow), codex(92));
  // Failures carry no values.
  for (const auto service : ServiceIDs::allCases) {
    EXPECT_EQ(MockUsageProvider::usage(service, Scenario::notSignedIn, kNow),
              ServiceUsage::failure(service, kNow, ProviderStatus::notSignedIn()));
    EXPECT_EQ(MockUsageProvider::usage(service, Scenario::error, kNow),
              ServiceUsage::failure(service, kNow, ProviderStatus::unavailable("네트워크에 연결할 수 없어요")));
  }
}

TEST(MockUsageProvider, FetchUsesTheSystemTimeAndTheCurrentScenario) {
  MockUsageProvider provider(ServiceID::claude, Scenario::normal);
  const TimePoint before = systemNow();
  const auto usage = provider.fetch({});
  EXPECT_GE(usage.fetchedAt, before);
  EXPECT_LE(usage.fetchedAt, systemNow());
  ASSERT_EQ(usage.windows.size(), 3u);
  EXPECT_NEAR(toEpochSeconds(*usage.windows[0].resetsAt) - toEpochSeconds(usage.fetchedAt), 8040, 1e-3);
  provider.setScenario(Scenario::error);
  EXPECT_EQ(provider.fetch({}).status.kind, ProviderStatus::Kind::unavailable);
}

TEST(MockUsageProvider, ScenarioChangesWhileFetchingGiveWholeResults) {
  MockUsageProvider provider(ServiceID::claude, Scenario::normal);
  std::vector<ServiceUsage> results;
  std::thread fetcher([&] {
    for (int i = 0; i < 200; ++i) results.push_back(provider.fetch({}));
  });
  for (int i = 0; i < 200; ++i) provider.setScenario(i % 2 ? Scenario::normal : Scenario::high);
  fetcher.join();
  for (const auto& usage : results) {
    std::vector<double> shares;
    for (const auto& window : usage.windows) shares.push_back(window.usedPercent);
    EXPECT_TRUE(shares == (std::vector<double>{38, 21, 9}) || shares == (std::vector<double>{88, 91, 89}));
  }
}
