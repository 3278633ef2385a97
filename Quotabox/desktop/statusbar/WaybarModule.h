#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <functional>

#include "model/TimePoint.h"
#include "platform/EngineState.h"

class AppModel;

// Feeds a status-bar face from the model: hands on the line's fields whenever what the bar shows
// changes, and once after every completed refresh. Main thread.
class WaybarModule : public QObject {
  Q_OBJECT

 public:
  using Writer = std::function<void(const EngineState&)>;

  WaybarModule(AppModel& model, Writer writer, Clock clock = systemNow, QObject* parent = nullptr);

  // The fields for the model's state at this instant.
  EngineState currentState() const;
  QByteArray currentLine() const;
  // Writes the current line now (the first line, and after each refresh).
  void emitLine();

 private:
  void emitIfChanged();
  void scheduleStalenessCheck();

  AppModel& m_model;
  Writer m_writer;
  Clock m_clock;
  EngineState m_last;
  QTimer m_staleness;
};
