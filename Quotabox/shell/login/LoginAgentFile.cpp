#include "login/LoginAgentFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVariant>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <system_error>

#include "files/AtomicFileWriter.h"
#include "files/RegularFile.h"

namespace {
const QString kOpenTool = QStringLiteral("/usr/bin/open");
const QString kSessionType = QStringLiteral("Aqua");
// The agent is a few hundred bytes; anything far larger is not ours to parse.
constexpr std::uintmax_t kMaxPlistBytes = 64 * 1024;

// A property-list value; only the types the agent uses are told apart.
struct PlistValue {
  enum class Type { string, boolean, array, dict, other } type = Type::other;
  QString string;
  bool boolean = false;
  QList<PlistValue> array;
  QList<std::pair<QString, PlistValue>> dict;
};

std::optional<PlistValue> readValue(QXmlStreamReader& xml);

// Reads the children of the current container element up to its end tag.
std::optional<PlistValue> readContainer(QXmlStreamReader& xml, bool isDict) {
  PlistValue value;
  value.type = isDict ? PlistValue::Type::dict : PlistValue::Type::array;
  while (xml.readNextStartElement()) {
    if (isDict) {
      if (xml.name() != u"key") return std::nullopt;
      const QString key = xml.readElementText();
      if (xml.hasError() || !xml.readNextStartElement()) return std::nullopt;
      auto item = readValue(xml);
      if (!item) return std::nullopt;
      for (const auto& existing : value.dict) {
        if (existing.first == key) return std::nullopt;
      }
      value.dict.append({key, std::move(*item)});
    } else {
      auto item = readValue(xml);
      if (!item) return std::nullopt;
      value.array.append(std::move(*item));
    }
  }
  if (xml.hasError()) return std::nullopt;
  return value;
}

// Called on a start element; leaves the reader on its end element.
std::optional<PlistValue> readValue(QXmlStreamReader& xml) {
  const auto name = xml.name();
  PlistValue value;
  if (name == u"dict" || name == u"array") return readContainer(xml, name == u"dict");
  if (name == u"string") {
    value.type = PlistValue::Type::string;
    value.string = xml.readElementText();
  } else if (name == u"true" || name == u"false") {
    value.type = PlistValue::Type::boolean;
    value.boolean = name == u"true";
    xml.readElementText();
  } else if (name == u"integer" || name == u"real" || name == u"date" || name == u"data") {
    xml.readElementText();
  } else {
    return std::nullopt;
  }
  if (xml.hasError()) return std::nullopt;
  return value;
}

std::optional<PlistValue> parsePlist(const QByteArray& bytes) {
  QXmlStreamReader xml(bytes);
  if (!xml.readNextStartElement() || xml.name() != u"plist") return std::nullopt;
  if (!xml.readNextStartElement()) return std::nullopt;
  auto root = readValue(xml);
  if (!root || xml.readNextStartElement()) return std::nullopt;
  // Anything after the root (a second root, broken markup) makes the file unreadable.
  while (!xml.atEnd()) xml.readNext();
  if (xml.hasError()) return std::nullopt;
  return root;
}

const PlistValue* member(const PlistValue& dict, const QString& key) {
  for (const auto& [name, value] : dict.dict) {
    if (name == key) return &value;
  }
  return nullptr;
}

bool isExecutableFile(const QString& path) {
  const QFileInfo info(path);
  return info.isFile() && info.isExecutable();
}
}  // namespace

LoginAgentFile LoginAgentFile::standard() { return {QDir::homePath() + QStringLiteral("/Library/LaunchAgents")}; }

QString LoginAgentFile::filePath() const { return directory + QStringLiteral("/com.orrisfen.Quotabox.login.plist"); }

QByteArray LoginAgentFile::format(const QString& appPath) {
  QByteArray bytes;
  QXmlStreamWriter xml(&bytes);
  xml.setAutoFormatting(true);
  xml.setAutoFormattingIndent(-1);
  xml.writeStartDocument();
  xml.writeDTD(
      QStringLiteral("<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                     "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">"));
  xml.writeStartElement(QStringLiteral("plist"));
  xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
  xml.writeStartElement(QStringLiteral("dict"));
  xml.writeTextElement(QStringLiteral("key"), QStringLiteral("Label"));
  xml.writeTextElement(QStringLiteral("string"), label);
  xml.writeTextElement(QStringLiteral("key"), QStringLiteral("ProgramArguments"));
  xml.writeStartElement(QStringLiteral("array"));
  for (const QString& argument : {kOpenTool, QStringLiteral("-g"), appPath}) {
    xml.writeTextElement(QStringLiteral("string"), argument);
  }
  xml.writeEndElement();
  xml.writeTextElement(QStringLiteral("key"), QStringLiteral("RunAtLoad"));
  xml.writeEmptyElement(QStringLiteral("true"));
  xml.writeTextElement(QStringLiteral("key"), QStringLiteral("LimitLoadToSessionType"));
  xml.writeTextElement(QStringLiteral("string"), kSessionType);
  xml.writeEndElement();
  xml.writeEndElement();
  xml.writeEndDocument();
  return bytes;
}

bool LoginAgentFile::matches(const QString& appPath) const {
  std::error_code error;
  const auto bytes = RegularFile::read(QFile::encodeName(filePath()).toStdString(), kMaxPlistBytes, error);
  if (!bytes) return false;
  const auto root = parsePlist(QByteArray::fromStdString(*bytes));
  if (!root || root->type != PlistValue::Type::dict) return false;

  const PlistValue* labelValue = member(*root, QStringLiteral("Label"));
  if (!labelValue || labelValue->type != PlistValue::Type::string || labelValue->string != label) return false;

  const PlistValue* arguments = member(*root, QStringLiteral("ProgramArguments"));
  if (!arguments || arguments->type != PlistValue::Type::array) return false;
  const QStringList expected{kOpenTool, QStringLiteral("-g"), appPath};
  if (arguments->array.size() != expected.size()) return false;
  for (qsizetype i = 0; i < expected.size(); ++i) {
    const PlistValue& argument = arguments->array[i];
    if (argument.type != PlistValue::Type::string || argument.string != expected[i]) return false;
  }

  const PlistValue* runAtLoad = member(*root, QStringLiteral("RunAtLoad"));
  if (!runAtLoad || runAtLoad->type != PlistValue::Type::boolean || !runAtLoad->boolean) return false;

  const PlistValue* session = member(*root, QStringLiteral("LimitLoadToSessionType"));
  if (!session || session->type != PlistValue::Type::string || session->string != kSessionType) return false;

  return isExecutableFile(appPath + QStringLiteral("/Contents/MacOS/Quotabox"));
}

void LoginAgentFile::write(const QString& appPath) const {
  const QByteArray bytes = format(appPath);
  const std::filesystem::path folder(QFile::encodeName(directory).toStdString());
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) {
    if (folder.has_parent_path()) std::filesystem::create_directories(folder.parent_path(), error);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      throw std::system_error(errno, std::generic_category(), "cannot create " + folder.string());
    }
  }
  AtomicFileWriter::write(filePath(), bytes, 0600);
}

void LoginAgentFile::remove() const {
  const QByteArray path = QFile::encodeName(filePath());
  if (::unlink(path.constData()) != 0 && errno != ENOENT) {
    throw std::system_error(errno, std::generic_category(), "cannot remove " + path.toStdString());
  }
}
