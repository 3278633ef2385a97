#include "tray/PopoverPlacement.h"

#include <algorithm>
#include <array>

namespace {

// Room on the far side of the icon: from its edge (or the panel's strip) to the opposite side of the
// available area, less the margin on every side the popover does not touch.
QRectF roomBeside(const QRectF& icon, PanelEdge panel, const QRectF& available) {
  const double m = PopoverPlacement::margin;
  QRectF room = available.adjusted(m, m, -m, -m);
  switch (panel) {
    case PanelEdge::top:
      room.setTop(std::max(icon.bottom(), available.top()));
      break;
    case PanelEdge::bottom:
      room.setBottom(std::min(icon.top(), available.bottom()));
      break;
    case PanelEdge::left:
      room.setLeft(std::max(icon.right(), available.left()));
      break;
    case PanelEdge::right:
      room.setRight(std::min(icon.left(), available.right()));
      break;
  }
  return room;
}

}  // namespace

PanelEdge PopoverPlacement::panelEdge(const QRectF& icon, const PopoverArea& area) {
  const QRectF& s = area.screen;
  const QRectF& a = area.available.isEmpty() ? s : area.available;
  // A panel that reserves its strip says where it is.
  if (icon.top() < a.top()) return PanelEdge::top;
  if (icon.bottom() > a.bottom()) return PanelEdge::bottom;
  if (icon.left() < a.left()) return PanelEdge::left;
  if (icon.right() > a.right()) return PanelEdge::right;
  const std::array<std::pair<double, PanelEdge>, 4> distances{{
      {icon.top() - s.top(), PanelEdge::top},
      {s.bottom() - icon.bottom(), PanelEdge::bottom},
      {icon.left() - s.left(), PanelEdge::left},
      {s.right() - icon.right(), PanelEdge::right},
  }};
  // min_element keeps the first of equal distances.
  return std::min_element(distances.begin(), distances.end(),
                          [](const auto& x, const auto& y) { return x.first < y.first; })
      ->second;
}

PopoverPlacement PopoverPlacement::place(const QRectF& icon, QSizeF size, const PopoverArea& area) {
  PopoverPlacement placement;
  const QRectF available = area.available.isEmpty() ? area.screen : area.available;
  placement.panel = panelEdge(icon, area);
  placement.fixedEdge = placement.panel == PanelEdge::bottom ? PopoverEdge::bottom : PopoverEdge::top;
  const QRectF room = roomBeside(icon, placement.panel, available);
  size.setHeight(std::max(1.0, std::min(size.height(), room.height())));

  QRectF frame(QPointF(), size);
  switch (placement.panel) {
    case PanelEdge::top:
      frame.moveTopLeft({icon.center().x() - size.width() / 2, room.top()});
      break;
    case PanelEdge::bottom:
      frame.moveBottomLeft({icon.center().x() - size.width() / 2, room.bottom()});
      break;
    case PanelEdge::left:
      frame.moveTopLeft({room.left(), icon.top()});
      break;
    case PanelEdge::right:
      frame.moveTopRight({room.right(), icon.top()});
      break;
  }
  placement.frame = clamp(frame, room);
  return placement;
}

QRectF PopoverPlacement::placed(QRectF frame, double contentHeight, const QRectF& available) {
  if (available.isEmpty()) {
    frame.setHeight(contentHeight);
    return frame;
  }
  frame.setHeight(std::min(contentHeight, available.height() - margin));
  return clamp(frame, available);
}

QRectF PopoverPlacement::clamp(QRectF frame, const QRectF& bounds) {
  if (bounds.isEmpty()) return frame;
  frame.moveRight(std::min(frame.right(), bounds.right()));
  frame.moveLeft(std::max(frame.left(), bounds.left()));
  frame.moveBottom(std::min(frame.bottom(), bounds.bottom()));
  frame.moveTop(std::max(frame.top(), bounds.top()));
  return frame;
}

QPointF PopoverPlacement::toLogical(QPointF native, const QRectF& screen, double devicePixelRatio) {
  if (!(devicePixelRatio > 0)) return native;
  return screen.topLeft() + (native - screen.topLeft()) / devicePixelRatio;
}
