#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

// Ends the event loop cleanly on SIGINT and SIGTERM (a self-pipe: the handler only writes the
// signal's number). Optionally runs a refresh on SIGUSR1, as status bars send it.
class UnixSignalQuit : public QObject {
  Q_OBJECT
 public:
  explicit UnixSignalQuit(QObject* parent = nullptr);
  ~UnixSignalQuit() override;

  // Calls `refresh` on the main thread for every SIGUSR1 from now on.
  void onRefreshSignal(std::function<void()> refresh);

 private:
  QSocketNotifier* m_notifier = nullptr;
  std::function<void()> m_refresh;
};
