#include "tray/PopoverWindowFitter.h"

#include <algorithm>
#include <cmath>

std::optional<QRectF> PopoverWindowFitter::fit(const QRectF& frame, double contentHeight, const QRectF& available,
                                               PopoverEdge fixedEdge) {
  if (!(contentHeight > 1)) return std::nullopt;
  const double target = available.isEmpty() ? contentHeight : std::min(contentHeight, available.height());
  if (std::abs(frame.height() - target) <= 0.5) return std::nullopt;

  QRectF fitted = frame;
  fitted.setHeight(target);
  if (fixedEdge == PopoverEdge::bottom) fitted.moveBottom(frame.bottom());
  return PopoverPlacement::clamp(fitted, available);
}
