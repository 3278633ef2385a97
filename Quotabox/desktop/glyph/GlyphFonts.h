#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QSizeF>
#include <QString>

// The fonts of the tray glyph, resolved once per process (a QGuiApplication must exist). Sizes
// are device-independent pixels.
class GlyphFonts {
 public:
  // Font engines round pixel sizes to whole pixels, so a fractional size (12.5) is set at a
  // whole multiple and drawn and measured scaled down by `scale`.
  struct Face {
    QFont font;
    QFontMetricsF metrics;
    qreal scale = 1;

    // Typographic advance and line height of a one-line string.
    QSizeF size(const QString& text) const;
    qreal ascent() const { return metrics.ascent() * scale; }
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
