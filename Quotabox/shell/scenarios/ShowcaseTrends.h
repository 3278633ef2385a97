#pragma once

#include "trends/TrendSource.h"

// The trends of the trend showcase, one kind of forecast per window id, whatever was recorded:
// full, on the way to full, idle, on track, and still collecting for any other window.
class ShowcaseTrends : public TrendSource {
 public:
  WindowTrend trend(const TrendQuery& query) const override;
};
