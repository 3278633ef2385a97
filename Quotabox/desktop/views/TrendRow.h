#pragma once

#include <QAbstractButton>
#include <functional>

#include "model/TimePoint.h"
#include "model/UsageWindow.h"
#include "settings/UsageLevel.h"
#include "trends/WindowTrend.h"
#include "wording/TrendPresentation.h"

// The one-line forecast under a usage window: icon, sentence, mini sparkline and, when there is a
// detail to show, a chevron; then the whole row toggles the detail.
class TrendRow : public QAbstractButton {
  Q_OBJECT

 public:
  TrendRow(const UsageWindow& window, const WindowTrend& trend, const TrendPresentation& presentation,
           Thresholds thresholds, TimePoint now, bool isExpanded, std::function<void()> onToggle,
           QWidget* parent = nullptr);

  // Whether the row can expand: it has a detail and at least two samples to draw.
  static bool isExpandable(const TrendPresentation& presentation, const WindowTrend& trend);
  static QColor iconColor(const QPalette& palette, const TrendPresentation& presentation);
  static QColor lineColor(const QPalette& palette, const TrendPresentation& presentation, double usedPercent,
                          Thresholds thresholds);
  // Red or orange at 12 % for danger and caution; transparent otherwise.
  static QColor backgroundColor(const QPalette& palette, TrendPresentation::Tone tone);

  bool isInteractive() const { return m_interactive; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& pos) const override;

 private:
  TrendPresentation::Tone m_tone;
  bool m_interactive;
};
