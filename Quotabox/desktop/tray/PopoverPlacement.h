#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <optional>

// The popover edge that faces the tray; it stays put while the height follows the content.
enum class PopoverEdge { top, bottom };

// The screen edge the tray's panel runs along.
enum class PanelEdge { top, bottom, left, right };

// The screen a popover opens on, in logical pixels: its whole geometry and the part panels leave free.
struct PopoverArea {
  QRectF screen;
  QRectF available;

  bool isEmpty() const { return available.isEmpty(); }
};

// Where the popover goes when the desktop lets the client say so: beside the tray icon on the side
// away from its panel, never over it, inside the available area less a margin. Logical pixels.
struct PopoverPlacement {
  // Kept free between the popover and the screen edges and panels it does not touch.
  static constexpr double margin = 8;
  // Taken off the output's height when the compositor does not tell where its panels are.
  static constexpr double unknownPanels = 48;

  QRectF frame;
  PopoverEdge fixedEdge = PopoverEdge::top;
  PanelEdge panel = PanelEdge::top;

  // The panel edge for an icon (or a point, as an empty rectangle): the edge whose panel strip
  // (screen less available area) holds the icon, else the nearest screen edge; ties go to top,
  // bottom, left, right in that order.
  static PanelEdge panelEdge(const QRectF& icon, const PopoverArea& area);
  // The frame for content of `size` anchored at `icon`: centred on it along the panel, touching its
  // edge away from the panel (or the panel's strip, if that reaches further), and clamped into the
  // room left on that side. A height beyond the room is cut to it; the content scrolls.
  static PopoverPlacement place(const QRectF& icon, QSizeF size, const PopoverArea& area);
  // The frame for a window the window system placed at `frame`: the height follows `contentHeight`
  // up to the available height less the margin, the top edge stays unless that would leave the area.
  static QRectF placed(QRectF frame, double contentHeight, const QRectF& available);
  // Moves `frame` into `bounds` (the top-left corner wins when it cannot fit).
  static QRectF clamp(QRectF frame, const QRectF& bounds);
  // A point the host reported in device pixels, in Qt's logical coordinates: each screen keeps its
  // native origin and divides the offset from it by its pixel ratio.
  static QPointF toLogical(QPointF native, const QRectF& screen, double devicePixelRatio);
};
