#pragma once

#include <QWidget>

#include "settings/UsageLevel.h"

// The usage bar of a window row: a capsule track, the used share as a coloured capsule and one
// tick at each threshold.
class QuotaboxView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeight = 6;

  QuotaboxView(double percent, UsageLevel level, Thresholds thresholds, bool dimmed, QWidget* parent = nullptr);

  // The fill's width for a bar `width` wide: at least the bar's height once anything is used.
  static double fillWidth(double percent, double width);
  QColor fillColor() const;

  QSize sizeHint() const override { return {100, kHeight}; }
  QSize minimumSizeHint() const override { return {kHeight, kHeight}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double m_percent;
  UsageLevel m_level;
  Thresholds m_thresholds;
  bool m_dimmed;
};
