#include "views/Picker.h"

#include <QPainter>

#include "style/Look.h"
#include "views/Symbols.h"

namespace {
// The chevron sits in the right padding the control style leaves for it.
constexpr int kChevronSize = 12;
constexpr int kChevronInset = 7;
}  // namespace

Picker::Picker(QWidget* parent) : QComboBox(parent) {}

void Picker::paintEvent(QPaintEvent* event) {
  QComboBox::paintEvent(event);
  QPainter painter(this);
  painter.setFont(Symbols::font(kChevronSize));
  painter.setPen(isEnabled() ? Look::secondary(palette()) : Look::withOpacity(Look::secondary(palette()), 0.5));
  const QRect box(width() - kChevronInset - kChevronSize, 0, kChevronSize, height());
  painter.drawText(box, Qt::AlignCenter, QString(Symbols::glyph(QStringLiteral("chevron.down"))));
}
