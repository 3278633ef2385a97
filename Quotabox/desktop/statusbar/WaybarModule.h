#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <functional>

#include "model/TimePoint.h"

class AppModel;

// Feeds a waybar custom module: writes one line whenever what the bar shows changes, and one
// after every completed refresh. Main thread.
class WaybarModule : public QObject {
  Q_OBJECT

 public:
  using Writer = std::function<void(const QByteArray&)>;

  WaybarModule(AppModel& model, Writer writer, Clock clock = systemNow, QObject* parent = nullptr);

  // The line for the model's state at this instant.
  QByteArray currentLine() const;
  // Writes the current line now (the first line, and after each refresh).
  void emitLine();

 private:
  void emitIfChanged();
  void scheduleStalenessCheck();

  AppModel& m_model;
  Writer m_writer;
  Clock m_clock;
  QByteArray m_lastLine;
  QTimer m_staleness;
};
