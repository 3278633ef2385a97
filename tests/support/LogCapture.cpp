#include "LogCapture.h"

#include <QLoggingCategory>
#include <mutex>

namespace {
std::mutex captureMutex;
QStringList captured;
}  // namespace

LogCapture::LogCapture(const QString& rules) : m_rules(!rules.isEmpty()) {
  {
    std::lock_guard lock(captureMutex);
    captured.clear();
  }
  if (m_rules) QLoggingCategory::setFilterRules(rules);
  m_previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString& text) {
    std::lock_guard lock(captureMutex);
    captured.append(QString::fromUtf8(context.category ? context.category : "") + QStringLiteral(": ") + text);
  });
}

LogCapture::~LogCapture() {
  qInstallMessageHandler(m_previous);
  if (m_rules) QLoggingCategory::setFilterRules({});
}

QStringList LogCapture::lines() const {
  std::lock_guard lock(captureMutex);
  return captured;
}
