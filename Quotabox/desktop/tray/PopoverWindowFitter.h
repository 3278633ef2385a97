#pragma once

#include <QRectF>
#include <optional>

#include "tray/PopoverPlacement.h"

// Makes the popover's height follow its content: the tray-side edge stays where it is, the window
// never leaves the available area, and content taller than that area scrolls instead.
class PopoverWindowFitter {
 public:
  // The frame for a content of `contentHeight`, or nothing when the window should stay as it is:
  // during the first layout (height 1 or less) and for changes of half a pixel or less.
  static std::optional<QRectF> fit(const QRectF& frame, double contentHeight, const QRectF& available,
                                   PopoverEdge fixedEdge);
};
