#pragma once

#include <QObject>

class QSocketNotifier;

// Ends the event loop cleanly on SIGINT and SIGTERM (a self-pipe: the handler only writes a byte).
class UnixSignalQuit : public QObject {
  Q_OBJECT
 public:
  explicit UnixSignalQuit(QObject* parent = nullptr);
  ~UnixSignalQuit() override;

 private:
  QSocketNotifier* m_notifier = nullptr;
};
