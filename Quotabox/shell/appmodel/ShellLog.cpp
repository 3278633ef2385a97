#include "appmodel/ShellLog.h"

Q_LOGGING_CATEGORY(shellLog, "quotabox.shell", QtWarningMsg)
