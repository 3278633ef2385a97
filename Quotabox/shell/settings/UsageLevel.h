#pragma once

#include <optional>

#include "model/TimePoint.h"

// How close a percentage is to its limit. Ordered by raw value.
enum class UsageLevel : int { normal = 0, warning = 1, critical = 2 };

// The user's two thresholds in percent; warning < critical is kept by AppSettings.
struct Thresholds {
  int warning = 70;
  int critical = 90;

  friend bool operator==(const Thresholds&, const Thresholds&) = default;
};

// Level of an unrounded percentage: critical at or above `critical`, warning at or above `warning`.
UsageLevel levelOf(double percent, Thresholds thresholds);

// Seconds after which a snapshot counts as outdated: max(3 x refresh interval, 900).
double freshnessLimit(double refreshInterval);

// Whether data fetched at `fetchedAt` is still fresh at `now`; exactly at the limit it still is.
bool isFresh(TimePoint fetchedAt, TimePoint now, double refreshInterval);
