#pragma once

#include <QPalette>

// The application's own light and dark palettes; the accent is the system accent colour.
namespace AppPalette {
QPalette palette(bool dark);
bool isDark(const QPalette& palette);
}  // namespace AppPalette
