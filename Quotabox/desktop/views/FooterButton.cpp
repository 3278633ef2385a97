#include "views/FooterButton.h"

#include "views/Symbols.h"
#include "views/ViewStyle.h"

FooterButton::FooterButton(const QString& title, const QString& symbol, const QString& help, QWidget* parent)
    : QToolButton(parent) {
  setAutoRaise(true);
  setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  setText(title);
  setFont(ViewStyle::font(12));
  setIcon(Symbols::icon(symbol, 12, ViewStyle::primary(palette())));
  setIconSize(QSize(14, 14));
  setToolTip(help);
  setAccessibleName(title);
  setCursor(Qt::PointingHandCursor);
}
