#include "views/Divider.h"

#include <QPainter>

#include "views/TextStyle.h"

Divider::Divider(QWidget* parent) : QWidget(parent) {
  setFixedHeight(1);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), TextStyle::faded(palette().color(QPalette::WindowText), 0.15));
}
