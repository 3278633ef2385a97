#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

// The popover edge that faces the tray; it stays put while the height follows the content.
enum class PopoverEdge { top, bottom };

// Where the popover goes on a desktop that lets clients place windows (X11): its tray-side edge
// touches the activation point, horizontally centred on it, clamped into the screen's available area.
struct PopoverPlacement {
  QRectF frame;
  PopoverEdge fixedEdge = PopoverEdge::top;

  // Below the point when it lies in the upper half of `available`, above it otherwise. A size taller
  // than the area is cut to the area's height (the content scrolls).
  static PopoverPlacement place(QPointF point, QSizeF size, const QRectF& available);
  // Moves `frame` into `available` (top-left wins when it cannot fit).
  static QRectF clamp(QRectF frame, const QRectF& available);
};
