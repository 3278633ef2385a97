#include "views/TextStyle.h"

#include <QWidget>

namespace TextStyle {

QFont font(qreal pixelSize, QFont::Weight weight) {
  QFont f;
  f.setPixelSize(qMax(1, qRound(pixelSize)));
  f.setWeight(weight);
  return f;
}

QColor secondary(const QPalette& palette) { return faded(palette.color(QPalette::WindowText), 0.6); }

QColor faded(QColor color, qreal opacity) {
  color.setAlphaF(color.alphaF() * opacity);
  return color;
}

void apply(QWidget* widget, qreal pixelSize, QFont::Weight weight, bool secondaryText) {
  widget->setFont(font(pixelSize, weight));
  if (!secondaryText) return;
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, secondary(palette));
  palette.setColor(QPalette::Text, secondary(palette));
  widget->setPalette(palette);
}

}  // namespace TextStyle
