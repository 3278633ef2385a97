#pragma once

#include <QByteArray>
#include <QObject>
#include <optional>
#include <thread>

class QSocketNotifier;

// Writes status lines to a pipe without ever blocking the event loop. While the reader is slow,
// only the newest line waits (older ones are dropped); a line once started is finished first, so
// the reader never sees a broken one. A reader that goes away is noticed at once, not at the next
// write. Files and terminals are written directly.
class LineWriter : public QObject {
  Q_OBJECT

 public:
  explicit LineWriter(int fd, QObject* parent = nullptr);
  ~LineWriter() override;

  void write(const QByteArray& line);
  bool isClosed() const { return m_closed; }
  // Lines given but not (fully) written yet: 0, 1 or 2.
  int backlog() const;

 signals:
  // The reader closed its end; nothing more can be written.
  void closed();

 private:
  void flush();
  void watchForHangup();
  void close();

  int m_fd;
  int m_savedFlags = -1;
  bool m_closed = false;
  QByteArray m_current;
  qsizetype m_written = 0;
  std::optional<QByteArray> m_next;
  QSocketNotifier* m_writable = nullptr;
  // A reader that leaves shows only as an error condition on our end, which the event loop's read
  // and write notifiers do not report: a small thread waits for it.
  std::thread m_hangupWatch;
  int m_wake[2] = {-1, -1};
};
