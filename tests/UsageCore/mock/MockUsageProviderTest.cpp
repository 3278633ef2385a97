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
