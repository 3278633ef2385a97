#pragma once

#include <string>

#include "history/HistorySeries.h"
#include "model/ServiceID.h"
#include "model/TimePoint.h"
#include "model/UsageWindow.h"
#include "trends/WindowTrend.h"

// What a store knows about one window when it is asked for its trend.
struct TrendQuery {
  ServiceID service = ServiceID::claude;
  const std::string& windowID;
  const UsageWindow* window = nullptr;  // the service's current window of that id, if any
  const HistorySeries& series;          // the recorded samples, possibly none
  TimePoint now;
};

// Where a store's forecasts come from: the recorded history, or made-up series for demonstrations.
class TrendSource {
 public:
  virtual ~TrendSource() = default;
  virtual WindowTrend trend(const TrendQuery& query) const = 0;
  // Whether the store loads, records and prunes its history for this source.
  virtual bool keepsHistory() const { return true; }
};

// Forecasts computed from the recorded history.
class HistoryTrends : public TrendSource {
 public:
  WindowTrend trend(const TrendQuery& query) const override;
};
