#pragma once

#include <QLoggingCategory>

// "quotabox.core": failures the core turns into a status or drops. Warnings (what must not
// happen) show; debug and info only when QT_LOGGING_RULES turns them on. Never a token.
Q_DECLARE_LOGGING_CATEGORY(coreLog)
