#include "files/XdgPaths.h"

#include <QDir>

namespace XdgPaths {
QString configHome() {
  const QString configured = qEnvironmentVariable("XDG_CONFIG_HOME");
  return QDir::isAbsolutePath(configured) ? QDir::cleanPath(configured) : QDir::homePath() + QStringLiteral("/.config");
}
}  // namespace XdgPaths
