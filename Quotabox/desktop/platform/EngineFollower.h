#pragma once

#include <QDBusConnection>
#include <QObject>

#include "platform/EngineState.h"

// A face that is not the engine follows it: takes the state it publishes, asks it to refresh.
class EngineFollower : public QObject {
  Q_OBJECT

 public:
  enum class Refresh { asked, noEngine };

  explicit EngineFollower(QDBusConnection bus, QObject* parent = nullptr);
  ~EngineFollower() override;

  // Listens to the engine's changes and asks for its current state. Each answer or change comes as
  // stateReceived; an owner that does not serve the engine's interface comes as notAnEngine.
  void follow();
  void stop();
  bool following() const { return m_following; }
  // Asks the engine to refresh now; the outcome shows in its next state.
  void requestRefresh();

  // Asks the engine to refresh, waiting for its answer at most `timeoutMs`.
  static Refresh askToRefresh(QDBusConnection bus, int timeoutMs);

 signals:
  void stateReceived(const EngineState& state);
  void notAnEngine();

 private Q_SLOTS:
  void onChanged(const QString& text, const QString& cssClass, int percentage, const QString& report, bool ready);

 private:
  void askState(int attempt);

  QDBusConnection m_bus;
  bool m_following = false;
  // Answers to asks from an earlier follow() are dropped.
  int m_generation = 0;
};
