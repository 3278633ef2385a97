#include "glyph/StatusGlyphLayout.h"

#include <QPainterPath>
#include <QPen>
#include <algorithm>

namespace {

constexpr qreal kCanvasHeight = StatusGlyph::height;
constexpr qreal kMidY = kCanvasHeight / 2;

// icon: full-width bars, one per slot, stacked.
constexpr qreal kIconWidth = 22;
constexpr qreal kIconBarHeight = 6;
constexpr qreal kIconBarGap = 3;
// percent: letter, gap, value; slots side by side.
constexpr qreal kLetterGap = 2;
constexpr qreal kSlotGap = 7;
// both: per row a letter, a small bar and the value.
constexpr qreal kRowBarX = 7;
constexpr qreal kRowBarWidth = 16;
constexpr qreal kRowBarHeight = 5;
constexpr qreal kRowValueGap = 3;

constexpr qreal kTrackRadius = 1.5;
constexpr qreal kOutlineRadius = 1.0;
constexpr qreal kMinimumFill = 2.0;

QColor withAlpha(QColor color, qreal alpha) {
  color.setAlphaF(color.alphaF() * alpha);
  return color;
}

QPainterPath roundedRect(const QRectF& rect, qreal radius) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  return path;
}

}  // namespace

StatusGlyph::Layout::Layout(StatusGlyph glyph) : m_glyph(std::move(glyph)), m_fonts(GlyphFonts::shared()) {}

qreal StatusGlyph::Layout::width() const {
  switch (m_glyph.style) {
    case MenuBarStyle::icon:
      return kIconWidth;
    case MenuBarStyle::both:
      // Wide enough for the longest value, so the width never changes with the values.
      return m_fonts.rowValue.size(QStringLiteral("100%")).width() + kRowBarX + kRowBarWidth + kRowValueGap;
    case MenuBarStyle::percent:
      break;
  }
  if (m_glyph.slots.empty()) return 0;
  qreal total = kSlotGap * static_cast<qreal>(m_glyph.slots.size() - 1);
  for (const StatusSlot& slot : m_glyph.slots) total += lineWidth(slot);
  return total;
}

void StatusGlyph::Layout::draw(QPainter& painter, const Ink& ink) const {
  const std::vector<StatusSlot>& slots = m_glyph.slots;
  const QColor letterColor = withAlpha(ink.neutral, 0.7);
  switch (m_glyph.style) {
    case MenuBarStyle::icon: {
      const qreal n = static_cast<qreal>(slots.size());
      qreal y = (kCanvasHeight - (kIconBarHeight * n + kIconBarGap * (n - 1))) / 2;
      for (const StatusSlot& slot : slots) {
        drawBar(painter, slot, QRectF(0, y, kIconWidth, kIconBarHeight), ink);
        y += kIconBarHeight + kIconBarGap;
      }
      return;
    }
    case MenuBarStyle::percent: {
      qreal x = 0;
      for (const StatusSlot& slot : slots) {
        const QString letter = slot.letter();
        drawText(painter, letter, m_fonts.letter, x, kMidY, letterColor);
        const qreal valueX = x + m_fonts.letter.size(letter).width() + kLetterGap;
        drawText(painter, slot.valueText(), lineFont(slot), valueX, kMidY, valueColor(slot, ink));
        x += lineWidth(slot) + kSlotGap;
      }
      return;
    }
    case MenuBarStyle::both: {
      const qreal rowHeight = kCanvasHeight / static_cast<qreal>(std::max<size_t>(slots.size(), 1));
      for (size_t i = 0; i < slots.size(); ++i) {
        const StatusSlot& slot = slots[i];
        const qreal centerY = rowHeight / 2 + rowHeight * static_cast<qreal>(i);
        drawText(painter, slot.letter(), m_fonts.rowLetter, 0, centerY, letterColor);
        const QRectF bar(kRowBarX, centerY - kRowBarHeight / 2, kRowBarWidth, kRowBarHeight);
        drawBar(painter, slot, bar, ink);
        drawText(painter, slot.valueText(), m_fonts.rowValue, bar.right() + kRowValueGap, centerY,
                 valueColor(slot, ink));
      }
      return;
    }
  }
}

void StatusGlyph::Layout::drawBar(QPainter& painter, const StatusSlot& slot, const QRectF& rect, const Ink& ink) const {
  const QPainterPath track = roundedRect(rect, kTrackRadius);
  const QPainterPath outline = roundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), kOutlineRadius);
  switch (slot.kind.tag) {
    case StatusSlot::Kind::Case::loading:
      painter.fillPath(track, withAlpha(ink.neutral, 0.25));
      return;
    case StatusSlot::Kind::Case::signedOut: {
      QPen pen(withAlpha(ink.neutral, 0.6), 1.0);
      pen.setCapStyle(Qt::FlatCap);  // dashes of exactly 2 on, 1.5 off
      pen.setDashPattern({2.0, 1.5});
      pen.setDashOffset(0);
      painter.strokePath(outline, pen);
      return;
    }
    case StatusSlot::Kind::Case::error: {
      const QColor color = withAlpha(ink.neutral, 0.8);
      painter.strokePath(outline, QPen(color, 1.0));
      // A slash from lower left to upper right, reaching just past the bar.
      QPen slash(color, 1.5);
      slash.setCapStyle(Qt::RoundCap);
      painter.setPen(slash);
      const qreal reach = 0.6 * rect.height();
      painter.drawLine(QPointF(rect.center().x() - reach, rect.bottom() + 0.5),
                       QPointF(rect.center().x() + reach, rect.top() - 0.5));
      return;
    }
    case StatusSlot::Kind::Case::value:
      break;
  }
  painter.fillPath(track, withAlpha(ink.neutral, 0.3));
  const StatusSlot::Kind& kind = slot.kind;
  if (!(kind.percent > 0)) return;
  // Never shorter than 2 so a small share stays visible; never past the track, where it would
  // run into the percentage beside it.
  const qreal fillWidth = std::min(std::max(rect.width() * kind.percent / 100, kMinimumFill), rect.width());
  QColor fill = ink.neutral;
  if (ink.colored && kind.isAlert()) fill = kind.level == UsageLevel::critical ? ink.red : ink.orange;
  if (kind.stale) fill = withAlpha(fill, 0.45);
  painter.fillPath(roundedRect(QRectF(rect.left(), rect.top(), fillWidth, rect.height()), kTrackRadius), fill);
}

QColor StatusGlyph::Layout::valueColor(const StatusSlot& slot, const Ink& ink) const {
  const StatusSlot::Kind& kind = slot.kind;
  switch (kind.tag) {
    case StatusSlot::Kind::Case::value:
      if (kind.stale) return withAlpha(ink.neutral, 0.45);
      if (ink.colored && kind.level == UsageLevel::warning) return ink.orange;
      if (ink.colored && kind.level == UsageLevel::critical) return ink.red;
      return ink.neutral;
    case StatusSlot::Kind::Case::error:
      return ink.neutral;
    case StatusSlot::Kind::Case::loading:
    case StatusSlot::Kind::Case::signedOut:
      return withAlpha(ink.neutral, 0.55);
  }
  return ink.neutral;
}

const GlyphFonts::Face& StatusGlyph::Layout::lineFont(const StatusSlot& slot) const {
  const bool emphasised = slot.kind.isValue() && slot.kind.level == UsageLevel::critical && !slot.kind.stale;
  return emphasised ? m_fonts.lineValueBold : m_fonts.lineValue;
}

qreal StatusGlyph::Layout::lineWidth(const StatusSlot& slot) const {
  return m_fonts.letter.size(slot.letter()).width() + kLetterGap + lineFont(slot).size(slot.valueText()).width();
}

void StatusGlyph::Layout::drawText(QPainter& painter, const QString& text, const GlyphFonts::Face& face, qreal x,
                                   qreal centerY, const QColor& color) {
  const qreal top = centerY - face.size(text).height() / 2;
  painter.save();
  painter.translate(x, top + face.ascent());
  painter.scale(face.scale, face.scale);
  painter.setFont(face.font);
  painter.setPen(color);
  painter.drawText(QPointF(0, 0), text);
  painter.restore();
}
