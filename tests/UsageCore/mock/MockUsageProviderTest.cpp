#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "mock/MockUsageProvider.h"

using Scenario = MockUsageProvider::Scenario;

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
