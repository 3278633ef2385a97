#pragma once

#include <QString>

// Texts that name the platform: the macOS wording where it is true, the closest true sentence
// elsewhere.
namespace PlatformWording {
// "이 Mac" on macOS, "이 컴퓨터" elsewhere.
QString thisComputer();
// Why notifications are not shown when there is no notification centre, and what to do about it.
QString notificationsUnavailable();
}  // namespace PlatformWording
