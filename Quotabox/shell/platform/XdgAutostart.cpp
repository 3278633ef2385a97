#include "platform/XdgAutostart.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <map>
#include <system_error>

#include "files/AtomicFileWriter.h"
#include "files/PrivateFolder.h"
#include "files/RegularFile.h"
#include "files/XdgPaths.h"

namespace {
const QString kEntryName = QStringLiteral("com.orrisfen.Quotabox.desktop");
// Our entry is a few hundred bytes; anything far larger is not ours to parse.
constexpr std::uintmax_t kMaxEntryBytes = 64 * 1024;
const QString kReservedInExec = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");

// Undoes the escapes of a desktop-entry string value.
QString unescapeValue(const QString& value) {
  QString result;
  result.reserve(value.size());
  for (qsizetype i = 0; i < value.size(); ++i) {
    const QChar c = value[i];
    if (c != u'\\' || i + 1 == value.size()) {
      result += c;
      continue;
    }
    const QChar next = value[++i];
    if (next == u's') {
      result += u' ';
    } else if (next == u'n') {
      result += u'\n';
    } else if (next == u't') {
      result += u'\t';
    } else if (next == u'r') {
      result += u'\r';
    } else if (next == u'\\') {
      result += u'\\';
    } else {
      result += c;
      result += next;
    }
  }
  return result;
}

QString escapeValue(const QString& value) {
  QString result;
  for (const QChar c : value) {
    if (c == u'\\') {
      result += QStringLiteral("\\\\");
    } else if (c == u'\n') {
      result += QStringLiteral("\\n");
    } else if (c == u'\t') {
      result += QStringLiteral("\\t");
    } else if (c == u'\r') {
      result += QStringLiteral("\\r");
    } else {
      result += c;
    }
  }
  return result;
}

// Keys of the [Desktop Entry] group; later duplicates are ignored.
std::map<QString, QString> readDesktopEntry(const QByteArray& bytes) {
  std::map<QString, QString> keys;
  bool inEntry = false;
  for (const QByteArray& rawLine : bytes.split('\n')) {
    const QString line = QString::fromUtf8(rawLine).trimmed();
    if (line.isEmpty() || line.startsWith(u'#')) continue;
    if (line.startsWith(u'[')) {
      inEntry = line == QStringLiteral("[Desktop Entry]");
      continue;
    }
    if (!inEntry) continue;
    const qsizetype equals = line.indexOf(u'=');
    if (equals <= 0) continue;
    keys.try_emplace(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
  }
  return keys;
}

QString errorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }
}  // namespace

XdgAutostart::XdgAutostart(QString executable, QString autostartDirectory)
    : m_executable(std::move(executable)), m_directory(std::move(autostartDirectory)) {}

QString XdgAutostart::defaultDirectory() { return XdgPaths::configHome() + QStringLiteral("/autostart"); }

QString XdgAutostart::runningExecutable() {
  return runningExecutable(qEnvironmentVariable("APPIMAGE"), QCoreApplication::arguments().value(0),
                           QCoreApplication::applicationFilePath());
}

QString XdgAutostart::runningExecutable(const QString& appImage, const QString& programPath,
                                        const QString& executable) {
  if (!appImage.isEmpty()) return appImage;
  const QFileInfo program(programPath);
  if (program.isAbsolute() && program.isFile() && program.isExecutable()) return programPath;
  return executable;
}

QString XdgAutostart::entryPath() const { return m_directory + u'/' + kEntryName; }

QString XdgAutostart::quoteExecArgument(const QString& argument) {
  QString quoted = argument;
  quoted.replace(u'%', QStringLiteral("%%"));
  bool needsQuotes = quoted.isEmpty();
  for (const QChar c : quoted) needsQuotes = needsQuotes || kReservedInExec.contains(c);
  if (!needsQuotes) return quoted;
  QString result = QStringLiteral("\"");
  for (const QChar c : quoted) {
    if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') result += u'\\';
    result += c;
  }
  return result + u'"';
}

std::optional<QStringList> XdgAutostart::splitExec(const QString& value) {
  const QString text = unescapeValue(value);
  QStringList arguments;
  QString current;
  bool inArgument = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == u'"') {
      inArgument = true;
      for (++i;; ++i) {
        if (i == text.size()) return std::nullopt;  // unterminated quote
        const QChar q = text[i];
        if (q == u'"') break;
        if (q == u'\\' && i + 1 < text.size()) {
          const QChar next = text[i + 1];
          if (next == u'"' || next == u'`' || next == u'$' || next == u'\\') {
            current += next;
            ++i;
            continue;
          }
        }
        current += q;
      }
    } else if (c == u' ' || c == u'\t' || c == u'\n') {
      if (inArgument) arguments.append(current);
      current.clear();
      inArgument = false;
    } else {
      inArgument = true;
      current += c;
    }
  }
  if (inArgument) arguments.append(current);
  for (QString& argument : arguments) argument.replace(QStringLiteral("%%"), QStringLiteral("%"));
  return arguments;
}

QByteArray XdgAutostart::entryText(const QString& executable) {
  QString text = QStringLiteral(
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Quotabox\n"
      "Comment=AI 구독 사용량 표시\n");
  text += QStringLiteral("Exec=") + escapeValue(quoteExecArgument(executable)) + u'\n';
  text += QStringLiteral(
      "Terminal=false\n"
      "X-GNOME-Autostart-enabled=true\n");
  return text.toUtf8();
}

LoginItemStatus XdgAutostart::status() const {
  // Read without blocking and capped: whatever sits at the path may not be ours.
  std::error_code error;
  const auto bytes = RegularFile::read(QFile::encodeName(entryPath()).toStdString(), kMaxEntryBytes, error);
  if (!bytes) return LoginItemStatus::notRegistered;
  const auto keys = readDesktopEntry(QByteArray::fromStdString(*bytes));
  const auto value = [&](const char* key) {
    const auto found = keys.find(QString::fromLatin1(key));
    return found == keys.end() ? QString() : found->second;
  };
  if (value("Hidden") == u"true" || value("X-GNOME-Autostart-enabled") == u"false") {
    return LoginItemStatus::notRegistered;
  }
  const auto arguments = splitExec(value("Exec"));
  if (!arguments || arguments->isEmpty() || arguments->first() != m_executable) {
    return LoginItemStatus::notRegistered;
  }
  return LoginItemStatus::enabled;
}

bool XdgAutostart::hasRegistration() const {
  struct stat info {};
  return ::lstat(QFile::encodeName(entryPath()).constData(), &info) == 0;
}

void XdgAutostart::registerApp() {
  // Another local user must not be able to plant an entry that runs at this user's login.
  if (const std::error_code error = PrivateFolder::create(m_directory)) {
    throw LoginItemServiceError(writeFailed, "cannot create " + m_directory.toStdString() + ": " + error.message());
  }
  try {
    AtomicFileWriter::write(entryPath(), entryText(m_executable), 0600);
  } catch (const std::system_error& failure) {
    throw LoginItemServiceError(writeFailed, failure.what());
  }
}

void XdgAutostart::unregisterApp() {
  const QByteArray path = QFile::encodeName(entryPath());
  if (::unlink(path.constData()) != 0 && errno != ENOENT) {
    const int failure = errno;
    throw LoginItemServiceError(removeFailed,
                                "cannot remove " + path.toStdString() + ": " + errorText(failure).toStdString());
  }
}
