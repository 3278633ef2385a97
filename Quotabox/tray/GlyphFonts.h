#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QSizeF>
#include <QString>

// The fonts of the tray glyph, resolved once per process (a QGuiApplication must exist). Sizes
// are device-independent pixels: fonts are set in points and every glyph canvas, like the
// measuring device, runs at 72 dpi, where a point is a pixel.
class GlyphFonts {
 public:
  // Dots per metre of 72 dpi, for canvases that draw with these fonts.
  static constexpr int dotsPerMeter = 2835;

  struct Face {
    QFont font;
    QFontMetricsF metrics;
    // Typographic advance and line height of a one-line string.
    QSizeF size(const QString& text) const;
  };

  static const GlyphFonts& shared();

  Face letter;         // letter of the `percent` style: 10, semibold
  Face rowLetter;      // letter of a `both` row: 8, bold
  Face rowValue;       // value of a `both` row: 9, semibold, tabular digits
  Face lineValue;      // value of the `percent` style: 12.5, medium, tabular digits
  Face lineValueBold;  // the same in bold, for a fresh critical value

 private:
  GlyphFonts(const QString& interfaceFamily, const QString& tabularFamily);
};
