#include "appmodel/BuildInfo.h"

namespace BuildInfo {

std::optional<QString> version() {
#ifdef QUOTABOX_VERSION
  return QStringLiteral(QUOTABOX_VERSION);
#else
  return std::nullopt;
#endif
}

QString versionText(const std::optional<QString>& version) {
  if (!version || version->isEmpty()) return QStringLiteral("Quotabox (개발 빌드)");
  return QStringLiteral("Quotabox ") + *version;
}

}  // namespace BuildInfo
