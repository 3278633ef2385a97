#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "model/ServiceUsage.h"
#include "model/TimePoint.h"
#include "settings/UsageLevel.h"
#include "trends/WindowTrend.h"
#include "wording/UsageWording.h"

// What the terminal modes print: a Korean text report that reads like the popover (--print)
// and the same data as JSON (--json).
namespace TerminalReport {

struct Input {
  std::vector<std::pair<ServiceID, std::optional<ServiceUsage>>> usages;  // display order
  std::optional<TimePoint> lastRefresh;
  bool isRefreshing = false;
  Thresholds thresholds{70, 90};
  double refreshInterval = 120;
  TimePoint now;
  std::function<WindowTrend(ServiceID, const std::string&)> trend;
  // Set when the data is a demonstration scenario, never the user's own.
  std::optional<std::string> scenario;
  // Whether the text report adds the trend rows, as the popover does (trends and history both on).
  bool showTrends = true;
  // Where the text is read: a terminal, or a status-bar module's tooltip.
  UsageWording::Surface surface = UsageWording::Surface::report;
};

// What the report says about its data source: "live" or "mock:<scenario>".
std::string sourceName(const Input& input);

QString text(const Input& input);
QByteArray json(const Input& input);

}  // namespace TerminalReport
