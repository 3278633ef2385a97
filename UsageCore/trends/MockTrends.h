#pragma once

#include "mock/MockUsageProvider.h"
#include "model/ServiceID.h"
#include "model/TimePoint.h"
#include "model/UsageWindow.h"
#include "trends/WindowTrend.h"

// Ready-made trends for stores that run a mock scenario, shaped like a real history.
namespace MockTrends {

WindowTrend make(ServiceID service, const UsageWindow& window, MockUsageProvider::Scenario scenario, TimePoint now);

}  // namespace MockTrends
