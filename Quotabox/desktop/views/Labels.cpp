#include "views/Labels.h"

namespace Labels {

QLabel* make(const QString& text, const QFont& font, const QColor& color, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  label->setFont(font);
  // Inside a button (a trend row) a label would take ButtonText; it keeps the colour given here.
  label->setForegroundRole(QPalette::WindowText);
  QPalette colors = label->palette();
  colors.setColor(QPalette::WindowText, color);
  label->setPalette(colors);
  return label;
}

}  // namespace Labels
