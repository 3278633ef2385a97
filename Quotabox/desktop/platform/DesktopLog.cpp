#include "platform/DesktopLog.h"

Q_LOGGING_CATEGORY(desktopLog, "quotabox.desktop", QtWarningMsg)
