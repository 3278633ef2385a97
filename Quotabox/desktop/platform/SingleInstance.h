#pragma once

#include <QDBusConnection>
#include <QObject>

#include "platform/EngineState.h"

class QDBusError;
class QDBusServiceWatcher;

// The session's engine: the process that owns the bus name com.orrisfen.Quotabox refreshes,
// records history and notifies; every other face follows what it publishes here. A tray owns the
// name outright; status-bar modules wait in line for it and give it up to a tray.
class SingleInstance : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.orrisfen.Quotabox")

 public:
  static constexpr const char* serviceName = "com.orrisfen.Quotabox";
  static constexpr const char* objectPath = "/com/orrisfen/Quotabox";
  static constexpr const char* interfaceName = "com.orrisfen.Quotabox";
  // Start-up waits on the owner no longer than this: a stuck or foreign owner must not hold a
  // start back.
  static constexpr int callTimeoutMs = 1000;

  enum class Claim { owned, taken, noBus };
  // How the owner answered a request to open its popover: `foreign` when it does not serve this
  // interface at all (another program holds the name), `unreachable` when it did not answer.
  enum class Answer { opened, noPopover, foreign, unreachable };

  explicit SingleInstance(QDBusConnection bus, QObject* parent = nullptr);
  ~SingleInstance() override;

  // A tray's claim: owns the name or fails, never queued, never handed to another.
  Claim claim();
  // A status-bar module's claim: owns the name or queues for it; a tray may take it over.
  Claim claimOrQueue();
  // A tray taking the name from a module engine; fails when the owner is a tray.
  Claim takeOver();
  bool owns() const { return m_owns; }

  // Whether OpenPopover can open anything here.
  void setHasPopover(bool has) { m_hasPopover = has; }
  // Stores the state State() answers with and tells the followers, also when it is unchanged.
  void publish(const EngineState& state);
  const EngineState& published() const { return m_state; }

  // The error of a call to the name's owner that says it is not a Quotabox engine.
  static bool isForeign(const QDBusError& error);
  static Answer askToOpen(QDBusConnection bus, int timeoutMs = callTimeoutMs);
  // Asks the owner of the name to open its popover; false when it could not or has none.
  static bool askRunningToOpen(QDBusConnection bus) { return askToOpen(std::move(bus)) == Answer::opened; }

 public Q_SLOTS:
  // True when a popover opens.
  Q_SCRIPTABLE bool OpenPopover();
  Q_SCRIPTABLE void Refresh();
  // The published state: returns the text, the rest in the out arguments.
  Q_SCRIPTABLE QString State(QString& cssClass, int& percentage, QString& report, bool& ready);

 signals:
  Q_SCRIPTABLE void Changed(const QString& text, const QString& cssClass, int percentage, const QString& report,
                            bool ready);
  void openRequested();
  void refreshRequested();
  // The name came to this process, or went to another.
  void ownershipChanged(bool owns);

 private:
  Claim request(int queueOption, int replacementOption);
  void setOwns(bool owns);

  QDBusConnection m_bus;
  QDBusServiceWatcher* m_watcher = nullptr;
  bool m_registered = false;
  bool m_requested = false;
  bool m_owns = false;
  bool m_hasPopover = false;
  EngineState m_state;
};
