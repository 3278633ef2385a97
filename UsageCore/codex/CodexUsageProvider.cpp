#include "codex/CodexUsageProvider.h"

#include <QDir>
#include <QFile>
#include <QtGlobal>

#include "model/CoreLog.h"

CodexUsageProvider::CodexUsageProvider() : CodexUsageProvider(defaultRoot()) {}

CodexUsageProvider::CodexUsageProvider(std::filesystem::path root, std::shared_ptr<CodexLogReader> reader)
    : m_root(std::move(root)), m_reader(std::move(reader)) {}

std::filesystem::path CodexUsageProvider::defaultRoot() {
  const QByteArray custom = qgetenv("CODEX_HOME");
  if (!custom.isEmpty()) return std::filesystem::path(custom.toStdString());
  return std::filesystem::path(QFile::encodeName(QDir::homePath()).toStdString()) / ".codex";
}

ServiceUsage CodexUsageProvider::fetchWithPreview(std::stop_token stop, const Preview& preview) {
  try {
    return m_reader->readLocal(m_root, std::move(stop), preview);
  } catch (const std::exception& error) {
    // Only resource exhaustion gets here; report it like an unreadable home.
    qCWarning(coreLog) << "Codex logs not read:" << error.what();
    return ServiceUsage::failure(ServiceID::codex, systemNow(),
                                 ProviderStatus::unavailable(CodexLogReader::noRecordsMessage));
  }
}
