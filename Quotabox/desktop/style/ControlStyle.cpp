#include "style/ControlStyle.h"

#include <QColor>

#include "style/SystemColors.h"

namespace ControlStyle {
namespace {
QString rgba(const QColor& color) {
  return QStringLiteral("rgba(%1,%2,%3,%4)")
      .arg(color.red())
      .arg(color.green())
      .arg(color.blue())
      .arg(QString::number(color.alphaF(), 'f', 2));
}

QColor ink(bool dark, double opacity) {
  QColor color = dark ? QColor(255, 255, 255) : QColor(0, 0, 0);
  color.setAlphaF(static_cast<float>(opacity));
  return color;
}

// Placeholders: %1 control fill, %2 border, %3 hover, %4 pressed, %5 accent, %6 red, %7 popup
// fill, %8 scroll handle, %9 selected segment, @disabled disabled text.
const char* const kSheet = R"(
QPushButton, QComboBox {
  background: %1; border: 1px solid %2; border-radius: 6px; padding: 2px 9px; outline: none;
}
QPushButton:hover, QComboBox:hover { background: %3; }
QPushButton:pressed, QComboBox:on { background: %4; }
QPushButton:focus, QComboBox:focus { border: 1px solid %5; }
QPushButton:disabled, QComboBox:disabled { color: @disabled; }
QPushButton[role="destructive"] { background: %6; color: white; border: 1px solid %6; }
QPushButton[role="destructive"]:pressed { background: %6; border-color: %4; }
QPushButton[role="destructive"]:focus { border: 1px solid %5; }
QComboBox { padding-right: 24px; combobox-popup: 0; }
QComboBox::drop-down {
  subcontrol-origin: padding; subcontrol-position: center right; width: 18px; border: none;
}
QComboBox QAbstractItemView {
  background: %7; border: 1px solid %2; border-radius: 6px; padding: 4px; outline: none;
  selection-background-color: %5; selection-color: white;
}
QComboBox QAbstractItemView::item { min-height: 22px; padding: 0 6px; border-radius: 4px; }
QComboBox QAbstractItemView::item:selected { background: %5; color: white; }
QToolButton {
  background: transparent; border: 1px solid transparent; border-radius: 6px; padding: 1px 3px; outline: none;
}
QToolButton:hover { background: %3; }
QToolButton:pressed { background: %4; }
QToolButton:focus { border: 1px solid %5; }
SegmentedControl QToolButton { border-radius: 5px; padding: 2px 9px; }
SegmentedControl QToolButton:hover { background: transparent; }
SegmentedControl QToolButton:checked { background: %9; }
QMenu { background: %7; border: 1px solid %2; padding: 4px; }
QMenu::item { padding: 4px 16px; border-radius: 4px; }
QMenu::item:selected { background: %5; color: white; }
QMenu::separator { height: 1px; background: %2; margin: 4px 6px; }
QToolTip { background: %7; color: palette(window-text); border: 1px solid %2; padding: 2px 4px; }
QScrollBar:vertical { background: transparent; width: 8px; margin: 2px; }
QScrollBar::handle:vertical { background: %8; border-radius: 2px; min-height: 24px; }
QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }
QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }
)";
}  // namespace

QString sheet(bool dark) {
  const QColor fill = dark ? QColor(255, 255, 255, 26) : QColor(255, 255, 255);
  const QColor popup = dark ? QColor(50, 50, 50) : QColor(252, 252, 252);
  const QColor segment = dark ? QColor(255, 255, 255, 46) : QColor(255, 255, 255);
  return QString::fromLatin1(kSheet)
      .arg(rgba(fill), rgba(ink(dark, 0.14)), rgba(ink(dark, dark ? 0.16 : 0.06)), rgba(ink(dark, dark ? 0.22 : 0.12)),
           rgba(SystemColors::accent(dark)), rgba(SystemColors::red(dark)), rgba(popup), rgba(ink(dark, 0.3)),
           rgba(segment))
      .replace(QLatin1String("@disabled"), rgba(ink(dark, 0.35)));
}

}  // namespace ControlStyle
