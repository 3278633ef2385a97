#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QStringList>

class QWidget;

// Named colours and the one text font of the popover and settings pages, taken from a widget's
// palette so the light and dark appearances both work. Sizes are device-independent pixels.
namespace Look {

// Every page's header, cards and footer end this far from the right edge.
constexpr int kTrailingMargin = 12;

bool isDark(const QPalette& palette);

QColor red(const QPalette& palette);
QColor orange(const QPalette& palette);
QColor green(const QPalette& palette);
QColor accent(const QPalette& palette);
// Text colours: primary is the window text, secondary a faded form of it (one shade everywhere).
QColor primary(const QPalette& palette);
QColor secondary(const QPalette& palette);
// `color` with its alpha multiplied by `opacity`.
QColor withOpacity(QColor color, double opacity);

// Noto Sans CJK KR first (its digits share one width), then the fallbacks for Hangul.
const QStringList& fontFamilies();
// The UI font at `size` device-independent pixels.
QFont font(double size, QFont::Weight weight = QFont::Normal);
// The widget's font, and its text colour (foreground, window and text roles) when given.
void setText(QWidget* widget, double size, QFont::Weight weight = QFont::Normal, const QColor& color = {});

}  // namespace Look
