#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QWidget;

// Fonts and text colours shared by the popover's pages. Sizes are device-independent pixels.
namespace TextStyle {
QFont font(qreal pixelSize, QFont::Weight weight = QFont::Normal);
// Secondary text: the window text colour, faded.
QColor secondary(const QPalette& palette);
// `color` at `opacity` (0 to 1) of its own alpha.
QColor faded(QColor color, qreal opacity);
// Sets the widget's font and, when `secondaryText`, its text colour to secondary().
void apply(QWidget* widget, qreal pixelSize, QFont::Weight weight = QFont::Normal, bool secondaryText = false);
}  // namespace TextStyle
