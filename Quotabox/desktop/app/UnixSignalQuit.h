#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

// Ends the event loop cleanly on SIGINT and SIGTERM (a self-pipe: the handler only writes the
// signal's number) and runs a refresh on SIGUSR1, as status bars send it. The handlers are
// installed by installEarly() before anything else, so a signal that arrives during start-up waits
// in the pipe instead of killing the process.
class UnixSignalQuit : public QObject {
  Q_OBJECT
 public:
  // Blocks SIGUSR1 (the block survives exec, so a launcher passes it on to the program it starts).
  static void holdRefreshSignal();
  // Installs the handlers and releases SIGUSR1; idempotent.
  static void installEarly();
  // For a run that will never read the pipe: SIGINT and SIGTERM end the process again, SIGUSR1 is
  // ignored.
  static void release();

  explicit UnixSignalQuit(QObject* parent = nullptr);
  ~UnixSignalQuit() override;

  // Calls `refresh` on the main thread for every SIGUSR1 from now on, also for one that arrived
  // before; without it SIGUSR1 is ignored.
  void onRefreshSignal(std::function<void()> refresh);
  // A stop signal was taken, perhaps in an event loop that ran before the main one (where quitting
  // has no effect): the run checks this before it starts its loop.
  bool quitRequested() const { return m_quitRequested; }

 private:
  QSocketNotifier* m_notifier = nullptr;
  std::function<void()> m_refresh;
  bool m_quitRequested = false;
};
