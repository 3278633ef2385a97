#pragma once

#include <QRectF>
#include <optional>

#include "tray/PopoverPlacement.h"

// Makes the popover's height follow its content: anchored at the tray icon it is placed afresh from
// the anchor, so the tray-side edge stays where it is and growing then shrinking returns it to the
// same spot; placed by the window system it keeps its top edge. It never leaves the available area;
// content taller than that scrolls instead.
class PopoverWindowFitter {
 public:
  // The frame for content of `contentHeight`, or nothing when the window should stay as it is:
  // during the first layout (height 1 or less) and for changes of half a pixel or less.
  static std::optional<QRectF> fit(const QRectF& frame, double contentHeight, const std::optional<QRectF>& anchor,
                                   const PopoverArea& area);
};
