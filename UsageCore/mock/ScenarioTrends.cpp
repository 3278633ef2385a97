#include "mock/ScenarioTrends.h"

#include <algorithm>

#include "trends/MockTrends.h"

WindowTrend ScenarioTrends::trend(const TrendQuery& query) const {
  using Scenario = MockUsageProvider::Scenario;
  if (!query.window || m_scenario == Scenario::notSignedIn || m_scenario == Scenario::error) {
    return WindowTrend::insufficient(query.service, query.windowID);
  }
  const UsageWindow& window = *query.window;
  MockTrends::Shape shape;
  shape.ratePerHour = m_scenario == Scenario::high ? 9.0 : 2.4;
  shape.hours = std::min(window.windowMinutes ? *window.windowMinutes / 60.0 : 5.0, 24.0);
  shape.count = 36;
  shape.wobble = 0.8;
  return MockTrends::make(query.service, window, shape, query.now);
}
