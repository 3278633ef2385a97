#include "trends/TrendSource.h"

#include "trends/TrendCalculator.h"

WindowTrend HistoryTrends::trend(const TrendQuery& query) const {
  const UsageWindow* window = query.window;
  return TrendCalculator::compute(query.service, query.windowID, query.series, window ? window->resetsAt : std::nullopt,
                                  window ? window->windowMinutes : std::nullopt, query.now,
                                  TrendCalculator::Config::standard());
}
