#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects what is logged through Qt while it lives, one "category: text" line per message, from
// any thread. `rules` (QT_LOGGING_RULES syntax) turn categories on for that time.
class LogCapture {
 public:
  explicit LogCapture(const QString& rules = {});
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  QStringList lines() const;
  bool contains(const QString& text) const { return lines().join('\n').contains(text); }

 private:
  QtMessageHandler m_previous;
  bool m_rules;
};
