#pragma once

#include <QPoint>
#include <QRect>
#include <optional>

class TrayController;
class TrayItem;

// Opens the popover without a user's click, as if the tray item had been activated.
namespace StatusItemOpener {

// Delay of the auto-open launch action, on a monotonic timer.
inline constexpr int launchDelayMs = 2000;

// The item's last known point, else the top-right corner of the primary screen's available area
// (the usual panel corner), else nothing.
std::optional<QPoint> openPoint(std::optional<QPoint> itemPoint, std::optional<QRect> primaryAvailable);

// Opens the popover now.
void open(TrayController& controller, const TrayItem& item);
// Opens it launchDelayMs after the call (the "--open" launch action).
void openAfterLaunch(TrayController& controller, const TrayItem& item);

}  // namespace StatusItemOpener
