#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "mock/MockUsageProvider.h"

namespace {

using Scenario = MockUsageProvider::Scenario;

const TimePoint kNow = fromEpochSeconds(1'763'500'000);

}  // namespace

TEST(MockUsageProvider, FailureScenariosCarryNoValues) {
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
