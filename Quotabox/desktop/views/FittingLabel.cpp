#include "views/FittingLabel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

FittingLabel::FittingLabel(const QString& text, const QFont& font, const QColor& color, double minimumScale,
                           QWidget* parent)
    : QWidget(parent), m_text(text), m_font(font), m_color(color), m_minimumScale(minimumScale) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  setAccessibleName(text);
}

double FittingLabel::scaleFor(double width) const {
  const double natural = QFontMetricsF(m_font).horizontalAdvance(m_text);
  if (natural <= width || natural <= 0) return 1.0;
  return std::max(m_minimumScale, width / natural);
}

QSize FittingLabel::sizeHint() const {
  const QFontMetricsF metrics(m_font);
  return {static_cast<int>(std::ceil(metrics.horizontalAdvance(m_text))),
          static_cast<int>(std::ceil(metrics.height()))};
}

QSize FittingLabel::minimumSizeHint() const {
  // The layout may take width away; the text then shrinks, then elides.
  return {0, sizeHint().height()};
}

void FittingLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::TextAntialiasing);
  QFont font = m_font;
  font.setPointSizeF(m_font.pointSizeF() * scaleFor(width()));
  painter.setFont(font);
  painter.setPen(m_color);
  const QString shown = QFontMetricsF(font).elidedText(m_text, Qt::ElideRight, width());
  painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, shown);
}
