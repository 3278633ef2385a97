#pragma once

#include "MockUsageProvider.h"
#include "ServiceID.h"
#include "TimePoint.h"
#include "UsageWindow.h"
#include "WindowTrend.h"

// Ready-made trends for stores that run a mock scenario, shaped like a real history.
namespace MockTrends {

WindowTrend make(ServiceID service, const UsageWindow& window, MockUsageProvider::Scenario scenario, TimePoint now);

}  // namespace MockTrends
