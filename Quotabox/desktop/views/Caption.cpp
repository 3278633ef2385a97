#include "views/Caption.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include "style/Look.h"
#include "views/SystemSymbol.h"

Caption::Caption(const QString& text, const QString& symbol, QWidget* parent)
    : QWidget(parent), m_symbol(symbol), m_text(new QLabel(text, this)), m_symbolSize(12) {
  Look::setText(m_text, 11, QFont::Normal, Look::secondary(m_text->palette()));
  m_text->setWordWrap(true);
  m_text->setTextFormat(Qt::PlainText);
  setAccessibleName(text);

  auto* layout = new QHBoxLayout(this);
  // The symbol is painted in the left margin, level with the first line of text.
  layout->setContentsMargins(symbol.isEmpty() ? 0 : m_symbolSize + 4, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(m_text, 1);
}

QString Caption::text() const { return m_text->text(); }

void Caption::setText(const QString& text) {
  m_text->setText(text);
  setAccessibleName(text);
}

void Caption::setWrapping(bool wrap) {
  m_text->setWordWrap(wrap);
  setSizePolicy(wrap ? QSizePolicy::Preferred : QSizePolicy::Fixed, QSizePolicy::Preferred);
}

void Caption::setEmphasized() {
  m_text->setFont(Look::font(11, QFont::DemiBold));
  m_text->setPalette(palette());
  m_emphasized = true;
  update();
}

void Caption::paintEvent(QPaintEvent*) {
  if (m_symbol.isEmpty()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setFont(SystemSymbol::font(m_symbolSize));
  painter.setPen(m_emphasized ? palette().color(QPalette::WindowText) : Look::secondary(palette()));
  // Centre the symbol on the first line of the text.
  const int lineHeight = m_text->fontMetrics().height();
  painter.drawText(QRectF(0, m_text->y() + (lineHeight - m_symbolSize) / 2.0, m_symbolSize, m_symbolSize),
                   Qt::AlignCenter, SystemSymbol::glyph(m_symbol));
}
