#include "views/FooterButton.h"

#include <QFontMetrics>
#include <algorithm>

#include "style/Look.h"
#include "views/Symbols.h"

FooterButton::FooterButton(const QString& title, const QString& symbol, const QString& help, QWidget* parent)
    : QToolButton(parent) {
  setAutoRaise(true);
  setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  setText(title);
  setFont(Look::font(12));
  setIcon(Symbols::icon(symbol, 12, Look::primary(palette())));
  setIconSize(QSize(14, 14));
  setToolTip(help);
  setAccessibleName(title);
  setCursor(Qt::PointingHandCursor);
}

QSize FooterButton::sizeHint() const {
  // The box: a 1-pixel border and padding of 1 by 3 pixels; 4 pixels between symbol and title.
  constexpr int kBoxWidth = 2 * (1 + 3);
  constexpr int kBoxHeight = 2 * (1 + 1);
  const QFontMetrics metrics(font());
  const int content = iconSize().width() + 4 + metrics.horizontalAdvance(text());
  return {content + kBoxWidth, std::max(iconSize().height(), metrics.height()) + kBoxHeight};
}
