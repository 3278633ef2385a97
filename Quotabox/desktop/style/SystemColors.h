#pragma once

#include <QColor>

// The system colours every surface draws with (glyph, popover, settings), in their light and dark
// variants. `dark` means drawn on a dark background.
namespace SystemColors {
QColor red(bool dark);
QColor orange(bool dark);
QColor green(bool dark);
QColor accent(bool dark);
}  // namespace SystemColors
