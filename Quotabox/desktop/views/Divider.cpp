#include "views/Divider.h"

#include <QPainter>

#include "views/ViewStyle.h"

Divider::Divider(QWidget* parent) : QWidget(parent) {
  setFixedHeight(1);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), ViewStyle::withOpacity(ViewStyle::primary(palette()), 0.12));
}
