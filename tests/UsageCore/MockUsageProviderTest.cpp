#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "MockUsageProvider.h"

namespace {

using Scenario = MockUsageProvider::Scenario;

std::vector<double> usedShares(const ServiceUsage& usage) {
  std::vector<double> shares;
  for (const auto& window : usage.windows) shares.push_back(window.usedPercent);
  return shares;
}

}  // namespace

TEST(MockUsageProvider, NormalAndHighShares) {
  const TimePoint now = fromEpochSeconds(1'763'500'000);
  const auto claudeNormal = MockUsageProvider::usage(ServiceID::claude, Scenario::normal, now);
  const auto claudeHigh = MockUsageProvider::usage(ServiceID::claude, Scenario::high, now);
  EXPECT_EQ(usedShares(claudeNormal), (std::vector<double>{38, 21, 9}));
  EXPECT_EQ(usedShares(claudeHigh), (std::vector<double>{88, 91, 89}));
  EXPECT_EQ(usedShares(MockUsageProvider::usage(ServiceID::codex, Scenario::normal, now)), std::vector<double>{7});
  EXPECT_EQ(usedShares(MockUsageProvider::usage(ServiceID::codex, Scenario::high, now)), std::vector<double>{92});

  EXPECT_EQ(claudeHigh.planName, "Max 5x");
  EXPECT_TRUE(claudeHigh.status.isOk());
  EXPECT_TRUE(claudeHigh.metrics.empty());
  EXPECT_EQ(claudeHigh.fetchedAt, now);
  ASSERT_EQ(claudeNormal.windows.size(), 3u);
  EXPECT_EQ(claudeNormal.windows[0], UsageWindow("five_hour", "5시간", 38, now + Seconds(8040), 300));
  EXPECT_EQ(claudeNormal.windows[1], UsageWindow("seven_day", "주간", 21, now + Seconds(259200), 10080));
  EXPECT_EQ(claudeNormal.windows[2], UsageWindow("seven_day_opus", "주간 (Opus)", 9, now + Seconds(259200), 10080));
}

TEST(MockUsageProvider, CodexCarriesPlanAndCreditsMetric) {
  const TimePoint now = fromEpochSeconds(1'763'500'000);
  const auto codex = MockUsageProvider::usage(ServiceID::codex, Scenario::normal, now);
  EXPECT_EQ(codex.service, ServiceID::codex);
  EXPECT_EQ(codex.planName, "Plus");
  ASSERT_EQ(codex.windows.size(), 1u);
  EXPECT_EQ(codex.windows[0], UsageWindow("codex_primary", "주간", 7, now + Seconds(432000), 10080));
  EXPECT_EQ(codex.metrics, (std::vector<UsageMetric>{{"credits", "크레딧", "—"}}));
}

TEST(MockUsageProvider, FailureScenariosCarryNoValues) {
  const TimePoint now = fromEpochSeconds(1'763'500'000);
  for (const auto service : ServiceIDs::allCases) {
    const auto signedOut = MockUsageProvider::usage(service, Scenario::notSignedIn, now);
    EXPECT_EQ(signedOut, ServiceUsage::failure(service, now, ProviderStatus::notSignedIn()));
    const auto failed = MockUsageProvider::usage(service, Scenario::error, now);
    EXPECT_EQ(failed, ServiceUsage::failure(service, now, ProviderStatus::unavailable("네트워크에 연결할 수 없어요")));
  }
}

TEST(MockUsageProvider, FetchUsesTheSystemTimeAndTheCurrentScenario) {
  MockUsageProvider provider(ServiceID::claude, Scenario::normal);
  EXPECT_EQ(provider.service(), ServiceID::claude);
  const TimePoint before = systemNow();
  const auto usage = provider.fetch({});
  const TimePoint after = systemNow();
  EXPECT_GE(usage.fetchedAt, before);
  EXPECT_LE(usage.fetchedAt, after);
  ASSERT_EQ(usage.windows.size(), 3u);
  EXPECT_NEAR(toEpochSeconds(*usage.windows[0].resetsAt) - toEpochSeconds(usage.fetchedAt), 8040, 1e-3);

  provider.setScenario(Scenario::error);
  EXPECT_EQ(provider.scenario(), Scenario::error);
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
    const auto shares = usedShares(usage);
    EXPECT_TRUE(shares == (std::vector<double>{38, 21, 9}) || shares == (std::vector<double>{88, 91, 89}));
  }
}
