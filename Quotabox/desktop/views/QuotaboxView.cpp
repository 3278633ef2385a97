#include "views/QuotaboxView.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "style/Look.h"

QuotaboxView::QuotaboxView(double percent, UsageLevel level, Thresholds thresholds, bool dimmed, QWidget* parent)
    : QWidget(parent), m_percent(percent), m_level(level), m_thresholds(thresholds), m_dimmed(dimmed) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setFixedHeight(kHeight);
}

double QuotaboxView::fillWidth(double percent, double width) {
  if (!(percent > 0)) return 0;
  return std::min(width, std::max(width * std::min(percent, 100.0) / 100.0, static_cast<double>(kHeight)));
}

QColor QuotaboxView::fillColor() const {
  const QPalette& colors = palette();
  if (m_dimmed) return Look::withOpacity(Look::secondary(colors), 0.5);
  switch (m_level) {
    case UsageLevel::warning:
      return Look::orange(colors);
    case UsageLevel::critical:
      return Look::red(colors);
    case UsageLevel::normal:
      break;
  }
  return Look::accent(colors);
}

void QuotaboxView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  const double width = this->width();
  const double height = kHeight;
  const double radius = height / 2;
  const QColor primary = Look::primary(palette());

  painter.setBrush(Look::withOpacity(primary, 0.1));
  painter.drawRoundedRect(QRectF(0, 0, width, height), radius, radius);

  const double fill = fillWidth(m_percent, width);
  if (fill > 0) {
    painter.setBrush(fillColor());
    painter.drawRoundedRect(QRectF(0, 0, fill, height), radius, radius);
  }

  painter.setBrush(Look::withOpacity(primary, 0.25));
  for (const int threshold : {m_thresholds.warning, m_thresholds.critical}) {
    const double x = width * std::clamp(threshold, 0, 100) / 100.0;
    painter.drawRect(QRectF(std::min(x, width - 1), 0, 1, height));
  }
}
