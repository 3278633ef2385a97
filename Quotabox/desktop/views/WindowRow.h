#pragma once

#include <QWidget>
#include <functional>
#include <optional>

#include "model/TimePoint.h"
#include "model/UsageWindow.h"
#include "settings/UsageLevel.h"
#include "trends/WindowTrend.h"

// One rate-limit window: label, level badge, used share, bar, reset line and remaining share,
// then the window's trend row when trends are shown.
class WindowRow : public QWidget {
  Q_OBJECT

 public:
  struct TrendInput {
    WindowTrend trend;
    bool isCurrent = false;  // the card's figures are from a fresh successful fetch
    bool isExpanded = false;
    std::function<void()> toggle;
  };

  WindowRow(const UsageWindow& window, UsageLevel level, Thresholds thresholds, TimePoint now,
            std::optional<TrendInput> trends, QWidget* parent = nullptr);

  // What assistive technology reads for the row.
  static QString spokenValue(const UsageWindow& window, UsageLevel level, TimePoint now);
};
