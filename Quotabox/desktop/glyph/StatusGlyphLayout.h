#pragma once

#include <QColor>
#include <QPainter>
#include <QRectF>
#include <QString>

#include "glyph/GlyphFonts.h"
#include "glyph/StatusGlyph.h"

// Measures and draws one glyph on an 18-pixel-high canvas; origin top left, y growing downward.
class StatusGlyph::Layout {
 public:
  // The colours of one drawing: level colours are used only when `colored` is set.
  struct Ink {
    QColor neutral;
    QColor orange;
    QColor red;
    bool colored = false;
  };

  explicit Layout(StatusGlyph glyph);

  qreal width() const;
  void draw(QPainter& painter, const Ink& ink) const;

 private:
  void drawBar(QPainter& painter, const StatusSlot& slot, const QRectF& rect, const Ink& ink) const;
  QColor valueColor(const StatusSlot& slot, const Ink& ink) const;
  const GlyphFonts::Face& lineFont(const StatusSlot& slot) const;
  qreal lineWidth(const StatusSlot& slot) const;
  static void drawText(QPainter& painter, const QString& text, const GlyphFonts::Face& face, qreal x, qreal centerY,
                       const QColor& color);

  StatusGlyph m_glyph;
  const GlyphFonts& m_fonts;
};
