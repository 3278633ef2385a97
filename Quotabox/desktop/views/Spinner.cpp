#include "views/Spinner.h"

#include <QPainter>

#include "style/Look.h"

namespace {
constexpr int kSpokes = 8;
}

Spinner::Spinner(int side, QWidget* parent) : QWidget(parent), m_side(side) {
  setFixedSize(side, side);
  m_timer.setInterval(100);
  connect(&m_timer, &QTimer::timeout, this, [this] {
    m_step = (m_step + 1) % kSpokes;
    update();
  });
}

void Spinner::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  m_timer.start();
}

void Spinner::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  m_timer.stop();
}

void Spinner::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const double side = qMin(width(), height());
  const double outer = side / 2 - 1;
  const double inner = outer * 0.45;
  painter.translate(width() / 2.0, height() / 2.0);
  const QColor base = Look::secondary(palette());
  for (int spoke = 0; spoke < kSpokes; ++spoke) {
    // The newest spoke is darkest; the rest fade behind it.
    const int age = (m_step - spoke + kSpokes) % kSpokes;
    painter.setPen(QPen(Look::withOpacity(base, 1.0 - age * 0.11), qMax(1.5, side / 10), Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(0, -inner), QPointF(0, -outer));
    painter.rotate(360.0 / kSpokes);
  }
}
