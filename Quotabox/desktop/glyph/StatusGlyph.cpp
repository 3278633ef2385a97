#include "glyph/StatusGlyph.h"

#include <QPainter>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "glyph/StatusGlyphLayout.h"
#include "style/SystemColors.h"

namespace {

// Ratios outside this range are not real screens; they would only make huge or empty images.
constexpr qreal kLargestRatio = 8;
constexpr int kLargestSquare = 256;

}  // namespace

int StatusGlyph::width() const {
  // A hair of tolerance keeps exact sums from rounding up a whole pixel.
  return static_cast<int>(std::ceil(Layout(*this).width() - 1e-6));
}

bool StatusGlyph::needsColor() const {
  return std::any_of(slots.begin(), slots.end(), [](const StatusSlot& slot) { return slot.kind.isAlert(); });
}

QImage StatusGlyph::image(bool darkMenuBar, qreal devicePixelRatio) const {
  const qreal ratio =
      std::isfinite(devicePixelRatio) && devicePixelRatio > 0 ? std::min(devicePixelRatio, kLargestRatio) : 1.0;
  const Layout layout(*this);
  const int logicalWidth = width();
  QImage image(qRound(logicalWidth * ratio), qRound(height * ratio), QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  image.setText(QStringLiteral("Description"), accessibilityText());
  image.fill(Qt::transparent);
  if (image.isNull()) return image;

  QPainter painter(&image);
  painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
  paint(painter, layout, darkMenuBar);
  return image;
}

QImage StatusGlyph::squareImage(bool darkMenuBar, int side) const {
  const int pixels = std::clamp(side, 1, kLargestSquare);
  QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
  image.setText(QStringLiteral("Description"), accessibilityText());
  image.fill(Qt::transparent);
  if (image.isNull()) return image;
  const StatusGlyph bars{slots, MenuBarStyle::icon};
  const Layout layout(bars);
  QPainter painter(&image);
  painter.setRenderHints(QPainter::Antialiasing);
  // The icon canvas (22 x 18) stretched over the square: at 16 px each bar is over 5 px high.
  painter.scale(pixels / layout.width(), static_cast<qreal>(pixels) / height);
  paint(painter, layout, darkMenuBar);
  return image;
}

void StatusGlyph::paint(QPainter& painter, const Layout& layout, bool darkMenuBar) const {
  Layout::Ink ink;
  ink.neutral = darkMenuBar ? QColor(Qt::white) : QColor(Qt::black);
  ink.orange = SystemColors::orange(darkMenuBar);
  ink.red = SystemColors::red(darkMenuBar);
  ink.colored = needsColor();
  layout.draw(painter, ink);
}

QString StatusGlyph::accessibilityText() const {
  QStringList parts;
  for (const StatusSlot& slot : slots) parts << slot.spokenText();
  return QStringLiteral("사용량: ") + parts.join(QStringLiteral(", "));
}

QString StatusGlyph::textLabel() const {
  QStringList parts;
  for (const StatusSlot& slot : slots) parts << slot.letter() + QLatin1Char(' ') + slot.valueText();
  return parts.join(QStringLiteral(" \u00B7 "));
}
