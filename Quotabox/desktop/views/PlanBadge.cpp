#include "views/PlanBadge.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

#include "style/Look.h"

namespace {
const QFont badgeFont() { return Look::font(10, QFont::DemiBold); }
}  // namespace

PlanBadge::PlanBadge(const QString& planName, QWidget* parent) : QWidget(parent), m_text(planName) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setAccessibleName(planName + QStringLiteral(" 플랜"));
}

QSize PlanBadge::sizeHint() const {
  const QFontMetricsF metrics(badgeFont());
  return {static_cast<int>(std::ceil(metrics.horizontalAdvance(m_text) + 12)),
          static_cast<int>(std::ceil(metrics.height() + 4))};
}

void PlanBadge::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF bounds(rect());
  painter.setPen(Qt::NoPen);
  painter.setBrush(Look::withOpacity(Look::primary(palette()), 0.08));
  painter.drawRoundedRect(bounds, bounds.height() / 2, bounds.height() / 2);
  painter.setFont(badgeFont());
  painter.setPen(Look::secondary(palette()));
  painter.drawText(bounds, Qt::AlignCenter, m_text);
}
