#include "tray/PopoverWindowFitter.h"

#include <cmath>

std::optional<QRectF> PopoverWindowFitter::fit(const QRectF& frame, double contentHeight,
                                               const std::optional<QRectF>& anchor, const PopoverArea& area) {
  if (!(contentHeight > 1)) return std::nullopt;
  const QRectF target = anchor ? PopoverPlacement::place(*anchor, {frame.width(), contentHeight}, area).frame
                               : PopoverPlacement::placed(frame, contentHeight, area.available);
  const auto near = [](double a, double b) { return std::abs(a - b) <= 0.5; };
  if (near(target.height(), frame.height()) && near(target.top(), frame.top()) && near(target.left(), frame.left())) {
    return std::nullopt;
  }
  return target;
}
