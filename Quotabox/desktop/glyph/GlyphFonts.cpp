#include "glyph/GlyphFonts.h"

#include <QFontDatabase>
#include <QStringList>
#include <cmath>

namespace {

// Hangul has no place in the glyph today, but any Korean text set in these fonts still renders.
const QString kHangulFamily = QStringLiteral("Noto Sans CJK KR");
// Tried in turn when the interface font sets its digits at different widths.
const QStringList kTabularFallbacks{QStringLiteral("Noto Sans Mono"), QStringLiteral("DejaVu Sans Mono")};

QFont makeFont(const QString& family, int pixelSize, QFont::Weight weight) {
  QFont font;
  font.setFamilies({family, kHangulFamily});
  font.setPixelSize(pixelSize);
  font.setWeight(weight);
  // Unhinted outlines scale linearly, so the 2x picture matches the 1x measurements.
  font.setHintingPreference(QFont::PreferNoHinting);
  return font;
}

bool hasTabularDigits(const QFont& font) {
  const QFontMetricsF metrics(font);
  const qreal zero = metrics.horizontalAdvance(QLatin1Char('0'));
  for (char digit = '1'; digit <= '9'; ++digit) {
    if (std::abs(metrics.horizontalAdvance(QLatin1Char(digit)) - zero) > 0.01) return false;
  }
  return true;
}

QString interfaceFamily() { return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family(); }

// The interface font when its digits share one width, else the first fallback whose digits do.
QString tabularFamily() {
  const QString family = interfaceFamily();
  if (hasTabularDigits(makeFont(family, 12, QFont::Normal))) return family;
  for (const QString& fallback : kTabularFallbacks) {
    if (hasTabularDigits(makeFont(fallback, 12, QFont::Normal))) return fallback;
  }
  return family;
}

GlyphFonts::Face face(const QString& family, qreal size, QFont::Weight weight) {
  int multiple = 1;
  while (multiple < 4 && std::abs(size * multiple - std::round(size * multiple)) > 1e-6) ++multiple;
  const QFont font = makeFont(family, static_cast<int>(std::round(size * multiple)), weight);
  return {font, QFontMetricsF(font), 1.0 / multiple};
}

}  // namespace

QSizeF GlyphFonts::Face::size(const QString& text) const {
  return QSizeF(metrics.horizontalAdvance(text), metrics.height()) * scale;
}

const GlyphFonts& GlyphFonts::shared() {
  static const GlyphFonts fonts(interfaceFamily(), tabularFamily());
  return fonts;
}

GlyphFonts::GlyphFonts(const QString& interfaceFamily, const QString& tabularFamily)
    : letter(face(interfaceFamily, 10, QFont::DemiBold)),
      rowLetter(face(interfaceFamily, 8, QFont::Bold)),
      rowValue(face(tabularFamily, 9, QFont::DemiBold)),
      lineValue(face(tabularFamily, 12.5, QFont::Medium)),
      lineValueBold(face(tabularFamily, 12.5, QFont::Bold)) {}
