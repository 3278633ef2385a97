#pragma once

#include <QWidget>

#include "model/TimePoint.h"
#include "model/UsageWindow.h"
#include "settings/UsageLevel.h"
#include "trends/WindowTrend.h"

// The expanded trend under a trend row: a larger sparkline with threshold labels, the time axis
// and the detail lines.
class TrendDetail : public QWidget {
  Q_OBJECT

 public:
  TrendDetail(const UsageWindow& window, const WindowTrend& trend, Thresholds thresholds, TimePoint now,
              QWidget* parent = nullptr);

  // Red, orange or the accent colour by the window's level; the forecast plays no part.
  static QColor lineColor(const QPalette& palette, double usedPercent, Thresholds thresholds);

 protected:
  void paintEvent(QPaintEvent* event) override;
};
