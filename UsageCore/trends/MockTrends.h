#pragma once

#include "model/ServiceID.h"
#include "model/TimePoint.h"
#include "model/UsageWindow.h"
#include "trends/WindowTrend.h"

// Made-up trends for demonstration data, shaped like a real history: a series that rises at a
// steady rate to the window's current value, and the forecast that rate gives.
namespace MockTrends {

struct Shape {
  double ratePerHour = 0;  // percent points per hour
  double hours = 5;        // how far back the series reaches
  int count = 36;          // samples, the last one at now
  TrendConfidence confidence = TrendConfidence::ok;
  double wobble = 0;  // amplitude of the noise on all but the last sample
};

// Full already, idle without a rate, else full before or after the window's reset.
WindowTrend make(ServiceID service, const UsageWindow& window, const Shape& shape, TimePoint now);

// Two samples twelve minutes apart and no forecast yet.
WindowTrend collecting(ServiceID service, const UsageWindow& window, TimePoint now);

}  // namespace MockTrends
