#include <gtest/gtest.h>

#include "mock/MockUsageProvider.h"

// Demonstration data: the scenario set last decides the figures of the next fetch.
TEST(MockUsageProvider, ScenarioDecidesTheFigures) {
  MockUsageProvider provider(ServiceID::claude, MockUsageProvider::Scenario::normal);
  const double normal = provider.fetch({}).windows.at(0).usedPercent;
  provider.setScenario(MockUsageProvider::Scenario::high);
  EXPECT_GT(provider.fetch({}).windows.at(0).usedPercent, normal);
}
