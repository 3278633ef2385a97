#include "views/Sparkline.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "style/Look.h"

Sparkline::Sparkline(std::vector<UsageSample> samples, Thresholds thresholds, QColor color, TimePoint now, Style style,
                     QWidget* parent)
    : QWidget(parent),
      m_samples(std::move(samples)),
      m_thresholds(thresholds),
      m_color(color),
      m_now(now),
      m_style(style) {
  if (style == Style::mini) {
    setFixedSize(64, 20);
  } else {
    setFixedHeight(64);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  }
}

QSize Sparkline::sizeHint() const { return m_style == Style::mini ? QSize(64, 20) : QSize(200, 64); }

QRectF Sparkline::plotRect(QSizeF size, Style style) {
  const double inset = std::max(1.5, dotDiameter(style) / 2);
  const double width =
      style == Style::detail ? std::max(size.width() - kGutter, 1.0) : std::max(size.width() - inset, 1.0);
  return {0, inset, width, std::max(size.height() - 2 * inset, 1.0)};
}

std::array<QRectF, 2> Sparkline::thresholdLabelRects(QSizeF size, Thresholds thresholds) {
  // Boxes as high as the digits with a little air, so labels move only when the digits would touch.
  constexpr double kWidth = 26;
  constexpr double kHeight = 10;
  const QRectF plot = plotRect(size, Style::detail);
  std::array<QRectF, 2> rects;
  const std::array<int, 2> values{thresholds.warning, thresholds.critical};
  for (std::size_t i = 0; i < rects.size(); ++i) {
    const double top = std::clamp(yFor(values[i], plot) - kHeight / 2, 0.0, std::max(size.height() - kHeight, 0.0));
    rects[i] = QRectF(plot.right() + 17 - kWidth / 2, top, kWidth, kHeight);
  }
  // The lower label gives way downwards; at the bottom edge the upper one moves up instead.
  const bool warningLower = rects[0].top() >= rects[1].top();
  QRectF& upper = warningLower ? rects[1] : rects[0];
  QRectF& lower = warningLower ? rects[0] : rects[1];
  if (lower.top() < upper.bottom()) {
    lower.moveTop(std::min(upper.bottom(), std::max(size.height() - kHeight, 0.0)));
    upper.moveTop(std::max(lower.top() - kHeight, 0.0));
  }
  return rects;
}

double Sparkline::yFor(double percent, const QRectF& plot) {
  return plot.bottom() - plot.height() * std::clamp(percent, 0.0, 100.0) / 100.0;
}

QVector<QPointF> Sparkline::points(const std::vector<UsageSample>& samples, const QRectF& plot, TimePoint now) {
  QVector<QPointF> result;
  if (samples.empty()) return result;
  const double start = toEpochSeconds(samples.front().at);
  const double end = std::max(toEpochSeconds(samples.back().at), toEpochSeconds(now));
  const double span = std::max(end - start, 60.0);
  for (const auto& sample : samples) {
    const double x = plot.left() + plot.width() * (toEpochSeconds(sample.at) - start) / span;
    result.append({x, yFor(sample.usedPercent, plot)});
  }
  return result;
}

void Sparkline::drawThresholds(QPainter& painter, const QRectF& plot) const {
  const bool detail = m_style == Style::detail;
  const auto labels = thresholdLabelRects(size(), m_thresholds);
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const int threshold = i == 0 ? m_thresholds.warning : m_thresholds.critical;
    const QColor base = threshold < m_thresholds.critical ? Look::orange(palette()) : Look::red(palette());
    QPen pen(Look::withOpacity(base, detail ? 0.55 : 0.45), 0.75);
    // Dash lengths are in units of the pen width: 2 on, 2 off.
    pen.setDashPattern({2 / 0.75, 2 / 0.75});
    painter.setPen(pen);
    const double y = yFor(threshold, plot);
    painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    if (detail) {
      painter.setPen(Look::secondary(palette()));
      painter.setFont(Look::font(8.5, QFont::Medium));
      painter.drawText(labels[i], Qt::AlignCenter, QString::number(threshold) + QLatin1Char('%'));
    }
  }
}

void Sparkline::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF plot = plotRect(size(), m_style);
  const bool detail = m_style == Style::detail;

  painter.setPen(QPen(Look::withOpacity(Look::primary(palette()), 0.15), 0.5));
  painter.drawLine(plot.bottomLeft(), plot.bottomRight());
  drawThresholds(painter, plot);

  const QVector<QPointF> line = points(m_samples, plot, m_now);
  if (line.size() >= 2) {
    QPainterPath area(QPointF(line.front().x(), plot.bottom()));
    for (const QPointF& point : line) area.lineTo(point);
    area.lineTo(line.back().x(), plot.bottom());
    area.closeSubpath();
    QLinearGradient gradient(0, plot.top(), 0, plot.bottom());
    gradient.setColorAt(0, Look::withOpacity(m_color, 0.28));
    gradient.setColorAt(1, Look::withOpacity(m_color, 0.02));
    painter.fillPath(area, gradient);

    QPainterPath path(line.front());
    for (const QPointF& point : line) path.lineTo(point);
    painter.setPen(QPen(m_color, detail ? 1.5 : 1.25, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
  }
  if (!line.isEmpty()) {
    const double diameter = dotDiameter(m_style);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_color);
    painter.drawEllipse(line.back(), diameter / 2, diameter / 2);
  }
}
