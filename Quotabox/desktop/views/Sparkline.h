#pragma once

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QVector>
#include <QWidget>
#include <array>
#include <vector>

#include "model/TimePoint.h"
#include "settings/UsageLevel.h"
#include "trends/WindowTrend.h"

// A window's samples over time on a fixed 0-100 % scale, with dashed threshold lines, a gradient
// area and a dot on the latest sample. The time axis ends at `now`.
class Sparkline : public QWidget {
  Q_OBJECT

 public:
  enum class Style { mini, detail };
  // The right gutter of the detail style holds the threshold labels.
  static constexpr double kGutter = 30;

  Sparkline(std::vector<UsageSample> samples, Thresholds thresholds, QColor color, TimePoint now, Style style,
            QWidget* parent = nullptr);

  // The plot leaves room for the end dot at its edges (and for the labels in the detail gutter).
  static QRectF plotRect(QSizeF size, Style style);
  static double dotDiameter(Style style) { return style == Style::detail ? 5 : 4; }
  static QVector<QPointF> points(const std::vector<UsageSample>& samples, const QRectF& plot, TimePoint now);
  // The height of a percentage in the plot, limited to 0...100.
  static double yFor(double percent, const QRectF& plot);
  // The detail style's threshold labels, warning then critical: centred 17 right of the plot at
  // their line's height, moved apart where they would overlap and kept inside the widget.
  static std::array<QRectF, 2> thresholdLabelRects(QSizeF size, Thresholds thresholds);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void drawThresholds(QPainter& painter, const QRectF& plot) const;

  std::vector<UsageSample> m_samples;
  Thresholds m_thresholds;
  QColor m_color;
  TimePoint m_now;
  Style m_style;
};
