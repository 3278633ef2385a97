#include "settings/UsageLevel.h"

#include <algorithm>

UsageLevel levelOf(double percent, Thresholds thresholds) {
  if (percent >= static_cast<double>(thresholds.critical)) return UsageLevel::critical;
  if (percent >= static_cast<double>(thresholds.warning)) return UsageLevel::warning;
  return UsageLevel::normal;
}

double freshnessLimit(double refreshInterval) { return std::max(3.0 * refreshInterval, 900.0); }

bool isFresh(TimePoint fetchedAt, TimePoint now, double refreshInterval) {
  return (now - fetchedAt).count() <= freshnessLimit(refreshInterval);
}
