#include "views/ToggleSwitch.h"

#include <QPainter>
#include <QPainterPath>

#include "style/Look.h"

ToggleSwitch::ToggleSwitch(QWidget* parent) : QAbstractButton(parent) {
  setCheckable(true);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize ToggleSwitch::sizeHint() const { return {34, 20}; }

void ToggleSwitch::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPalette& pal = palette();
  const QRectF track = QRectF(rect()).adjusted(2, 2, -2, -2);
  const qreal radius = track.height() / 2;

  if (!isEnabled()) painter.setOpacity(0.4);
  const QColor trackColor =
      isChecked() ? pal.color(QPalette::Highlight) : Look::withOpacity(pal.color(QPalette::WindowText), 0.25);
  painter.setPen(Qt::NoPen);
  painter.setBrush(trackColor);
  painter.drawRoundedRect(track, radius, radius);

  const qreal inset = 2;
  const qreal knob = track.height() - 2 * inset;
  const qreal x = isChecked() ? track.right() - inset - knob : track.left() + inset;
  painter.setBrush(QColor(Qt::white));
  painter.setPen(QPen(QColor(0, 0, 0, 40), 0.5));
  painter.drawEllipse(QRectF(x, track.top() + inset, knob, knob));

  if (hasFocus()) {
    painter.setOpacity(1);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Look::withOpacity(pal.color(QPalette::Highlight), 0.6), 2));
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), radius + 1, radius + 1);
  }
}
