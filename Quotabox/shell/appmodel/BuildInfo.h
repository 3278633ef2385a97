#pragma once

#include <QString>
#include <optional>

// Facts fixed when the program was built.
namespace BuildInfo {
// The project version the build was configured with; absent in a development build.
std::optional<QString> version();
// "Quotabox " and the version, or "Quotabox (개발 빌드)" without one.
QString versionText(const std::optional<QString>& version = BuildInfo::version());
}  // namespace BuildInfo
