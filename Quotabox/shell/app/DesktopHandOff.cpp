#include "app/DesktopHandOff.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <string>

#include "app/TerminalRun.h"

#if defined(Q_OS_MACOS)
#include <mach-o/dyld.h>
#endif

namespace {
constexpr char kDesktopName[] = "quotabox-desktop";
}  // namespace

namespace DesktopHandOff {

QString ownExecutable() {
#if defined(Q_OS_MACOS)
  uint32_t size = 0;
  _NSGetExecutablePath(nullptr, &size);
  std::string path(size, '\0');
  if (_NSGetExecutablePath(path.data(), &size) != 0) return {};
  return QFileInfo(QFile::decodeName(path.c_str())).canonicalFilePath();
#else
  return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
#endif
}

QString companionFile(const QString& launcher, const QString& name) {
  const QString folder = QFileInfo(launcher).absolutePath();
  const QString beside = folder + u'/' + name;
  if (QFileInfo(beside).isFile()) return beside;
  return QDir::cleanPath(folder + QStringLiteral("/" QUOTABOX_PRIVATE_FROM_LAUNCHER "/") + name);
}

QString desktopExecutable(const QString& launcher) { return companionFile(launcher, QLatin1String(kDesktopName)); }

QString cannotStartLine(const QString& desktop, const QString& reason) {
  return QStringLiteral("Quotabox 데스크톱 프로그램(%1)을 시작하지 못해 이 모드를 쓸 수 없어요: %2\n")
      .arg(desktop, reason);
}

int exec(char** argv) {
  QString launcher = ownExecutable();
  if (launcher.isEmpty()) launcher = QFile::decodeName(argv[0]);
  const QByteArray desktop = QFile::encodeName(desktopExecutable(launcher));
  QByteArray program = QFile::encodeName(launcher);
  argv[0] = program.data();
  ::execv(desktop.constData(), argv);
  const int error = errno;
  TerminalRun::writeOut(
      cannotStartLine(QFile::decodeName(desktop), QString::fromLocal8Bit(std::strerror(error))).toUtf8(), stderr);
  return TerminalRun::kModeUnavailable;
}

}  // namespace DesktopHandOff
