#pragma once

#include <functional>
#include <string>

#include "trends/WindowTrend.h"

// What a service card needs to show and expand the trends of its windows, keyed by window id.
// Only built while trends are shown at all.
struct TrendContext {
  std::function<WindowTrend(const std::string& windowID)> trend;
  std::function<bool(const std::string& windowID)> isExpanded;
  std::function<void(const std::string& windowID)> toggle;
};
