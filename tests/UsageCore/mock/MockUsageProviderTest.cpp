#include <gtest/gtest.h>

#include "mock/MockUsageProvider.h"

// Demonstration data: the scenario set last decides the figures of the next fetch.
TEST(MockUsageProvider, ScenarioDecidesTheFigures) {
  MockUsageProvider provider(ServiceID::claude, MockUsageProvider::Scenario::normal);
  EXPECT_EQ(provider.fetch({}).windows.at(0).usedPercent, 38);
  provider.setScenario(MockUsageProvider::Scenario::high);
  EXPECT_EQ(provider.fetch({}).windows.at(0).usedPercent, 88);
}
