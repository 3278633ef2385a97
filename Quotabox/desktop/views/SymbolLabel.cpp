#include "views/SymbolLabel.h"

#include <QPainter>
#include <cmath>

#include "views/Symbols.h"

SymbolLabel::SymbolLabel(const QString& name, double size, const QColor& color, double frameWidth, QWidget* parent)
    : QWidget(parent), m_name(name), m_size(size), m_color(color), m_frameWidth(frameWidth) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setFocusPolicy(Qt::NoFocus);
}

void SymbolLabel::setRotation(double degrees) {
  m_rotation = degrees;
  update();
}

QSize SymbolLabel::sizeHint() const {
  const int side = static_cast<int>(std::ceil(m_size * 1.2));
  return {m_frameWidth > 0 ? static_cast<int>(std::ceil(m_frameWidth)) : side, side};
}

void SymbolLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setFont(Symbols::font(m_size));
  painter.setPen(m_color);
  const QRectF bounds = rect();
  if (m_rotation != 0) {
    painter.translate(bounds.center());
    painter.rotate(m_rotation);
    painter.translate(-bounds.center());
  }
  painter.drawText(bounds, Qt::AlignCenter, QString(Symbols::glyph(m_name)));
}
