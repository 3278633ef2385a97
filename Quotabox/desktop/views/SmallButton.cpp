#include "views/SmallButton.h"

#include <QEvent>

#include "style/Look.h"
#include "views/SystemSymbol.h"

SmallButton::SmallButton(const QString& text, const QString& symbol, QWidget* parent)
    : QPushButton(text, parent), m_symbol(symbol) {
  setFont(Look::font(11));
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setAutoDefault(false);
  updateIcon();
}

void SmallButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange) updateIcon();
  QPushButton::changeEvent(event);
}

void SmallButton::updateIcon() {
  if (m_symbol.isEmpty()) return;
  setIcon(SystemSymbol::icon(m_symbol, palette().color(QPalette::ButtonText), 13));
  setIconSize(QSize(13, 13));
}
