#include "BuildPaths.h"

namespace BuildPaths {

QString launcher() { return QStringLiteral(QUOTABOX_EXECUTABLE); }
QString httpModule() { return QStringLiteral(QUOTABOX_HTTP_MODULE); }
QString helperDir() { return QStringLiteral(QUOTABOX_HELPER_DIR); }
QString fixtures() { return QStringLiteral(QUOTABOX_FIXTURES); }

}  // namespace BuildPaths
