#pragma once

#include "mock/MockUsageProvider.h"
#include "trends/TrendSource.h"

// The trends of a scripted scenario: made up from each window's current value, rising faster for
// `high`; none for the scenarios without data. The store keeps no history for them.
class ScenarioTrends : public TrendSource {
 public:
  explicit ScenarioTrends(MockUsageProvider::Scenario scenario) : m_scenario(scenario) {}

  WindowTrend trend(const TrendQuery& query) const override;
  bool keepsHistory() const override { return false; }

 private:
  MockUsageProvider::Scenario m_scenario;
};
