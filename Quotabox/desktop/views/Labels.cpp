#include "views/Labels.h"

namespace Labels {

QLabel* make(const QString& text, const QFont& font, const QColor& color, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  label->setFont(font);
  QPalette colors = label->palette();
  colors.setColor(QPalette::WindowText, color);
  label->setPalette(colors);
  return label;
}

}  // namespace Labels
