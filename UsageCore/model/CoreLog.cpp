#include "model/CoreLog.h"

Q_LOGGING_CATEGORY(coreLog, "quotabox.core", QtWarningMsg)
