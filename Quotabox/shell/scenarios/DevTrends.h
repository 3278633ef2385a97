#pragma once

#include "model/ServiceID.h"
#include "model/TimePoint.h"
#include "model/UsageWindow.h"
#include "trends/WindowTrend.h"

// Fabricated trends for the trend showcase, one kind of forecast per window id; no history is read.
namespace DevTrends {

WindowTrend make(ServiceID service, const UsageWindow& window, bool historyEnabled, TimePoint now);

}  // namespace DevTrends
