#include "views/Divider.h"

#include <QPainter>

#include "style/Look.h"

Divider::Divider(QWidget* parent) : QWidget(parent) {
  setFixedHeight(1);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Look::withOpacity(Look::primary(palette()), 0.12));
}
