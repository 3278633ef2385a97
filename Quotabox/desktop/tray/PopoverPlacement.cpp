#include "tray/PopoverPlacement.h"

#include <algorithm>

QRectF PopoverPlacement::clamp(QRectF frame, const QRectF& available) {
  if (available.isEmpty()) return frame;
  frame.moveRight(std::min(frame.right(), available.right()));
  frame.moveLeft(std::max(frame.left(), available.left()));
  frame.moveBottom(std::min(frame.bottom(), available.bottom()));
  frame.moveTop(std::max(frame.top(), available.top()));
  return frame;
}

PopoverPlacement PopoverPlacement::place(QPointF point, QSizeF size, const QRectF& available) {
  PopoverPlacement placement;
  if (!available.isEmpty()) size.setHeight(std::min(size.height(), available.height()));
  const bool below = available.isEmpty() || point.y() < available.center().y();
  placement.fixedEdge = below ? PopoverEdge::top : PopoverEdge::bottom;
  const double top = below ? point.y() : point.y() - size.height();
  placement.frame = clamp(QRectF(QPointF(point.x() - size.width() / 2, top), size), available);
  return placement;
}
