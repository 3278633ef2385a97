#pragma once

#include <QLoggingCategory>

// "quotabox.desktop": failures the desktop program reports only as a result. Warnings show;
// debug and info only when QT_LOGGING_RULES turns them on.
Q_DECLARE_LOGGING_CATEGORY(desktopLog)
