#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

// Named colours and the text font of the popover, derived from the application palette so that
// the light and dark appearances both work.
namespace ViewStyle {

bool isDark(const QPalette& palette);

QColor red(const QPalette& palette);
QColor orange(const QPalette& palette);
QColor green(const QPalette& palette);
QColor accent(const QPalette& palette);
// Text colours: primary is the window text, secondary a faded form of it.
QColor primary(const QPalette& palette);
QColor secondary(const QPalette& palette);
// `color` with its alpha multiplied by `opacity`.
QColor withOpacity(QColor color, double opacity);

// The UI font (Noto Sans CJK KR, whose digits share one width) at `size` device-independent pixels.
QFont font(double size, QFont::Weight weight = QFont::Normal);

}  // namespace ViewStyle
