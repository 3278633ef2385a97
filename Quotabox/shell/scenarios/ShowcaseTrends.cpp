#include "scenarios/ShowcaseTrends.h"

#include "trends/MockTrends.h"

WindowTrend ShowcaseTrends::trend(const TrendQuery& query) const {
  if (!query.window) return WindowTrend::insufficient(query.service, query.windowID);
  const UsageWindow& window = *query.window;
  const auto shaped = [&](double rate, double hours, int count, TrendConfidence confidence) {
    return MockTrends::make(query.service, window, {rate, hours, count, confidence, 0}, query.now);
  };
  if (window.id == "five_hour") return shaped(15, 3.9, 10, TrendConfidence::ok);
  if (window.id == "seven_day") return shaped(1.2, 5, 5, TrendConfidence::low);
  if (window.id == "seven_day_opus") return shaped(0, 10, 12, TrendConfidence::ok);
  if (window.id == "codex_secondary") return shaped(5.5, 1.2, 4, TrendConfidence::low);
  return MockTrends::collecting(query.service, window, query.now);
}
