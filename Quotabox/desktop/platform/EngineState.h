#pragma once

#include <QString>

// What the session's engine publishes for the faces that follow it: the status-bar line's fields
// and the text report its tooltip carries.
struct EngineState {
  QString text;
  QString cssClass = QStringLiteral("normal");
  int percentage = 0;
  QString report;
  // A refresh has completed, so the values are the engine's own and not its start-up placeholder.
  bool ready = false;

  bool operator==(const EngineState&) const = default;
};
