#pragma once

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QVector>
#include <QWidget>
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

  static QRectF plotRect(QSizeF size, Style style);
  static QVector<QPointF> points(const std::vector<UsageSample>& samples, const QRectF& plot, TimePoint now);
  // The height of a percentage in the plot, limited to 0...100.
  static double yFor(double percent, const QRectF& plot);

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
