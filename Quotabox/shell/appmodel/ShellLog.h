#pragma once

#include <QLoggingCategory>

// "quotabox.shell": failures the app model handles without a trace elsewhere. Warnings show;
// debug and info only when QT_LOGGING_RULES turns them on.
Q_DECLARE_LOGGING_CATEGORY(shellLog)
