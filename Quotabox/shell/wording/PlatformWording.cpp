#include "wording/PlatformWording.h"

namespace PlatformWording {

QString thisComputer() {
#ifdef Q_OS_MACOS
  return QStringLiteral("이 Mac");
#else
  return QStringLiteral("이 컴퓨터");
#endif
}

QString notificationsUnavailable() {
#ifdef Q_OS_MACOS
  return QStringLiteral("개발 실행(scripts/run)에서는 알림을 표시하지 않아요. Quotabox.app으로 실행해 주세요.");
#else
  // No notification server on the session bus: the usual case of a bare development session.
  return QStringLiteral(
      "알림 서버가 실행 중이 아니어서 알림을 표시하지 않아요(개발 실행: scripts/run). "
      "dunst 같은 알림 서비스를 실행해 주세요.");
#endif
}

}  // namespace PlatformWording
