#include "statusbar/LineWriter.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

LineWriter::LineWriter(int fd, QObject* parent) : QObject(parent), m_fd(fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    m_closed = true;
    return;
  }
  if (!S_ISFIFO(info.st_mode) && !S_ISSOCK(info.st_mode)) return;
  m_savedFlags = ::fcntl(fd, F_GETFL);
  if (m_savedFlags < 0 || ::fcntl(fd, F_SETFL, m_savedFlags | O_NONBLOCK) != 0) {
    m_savedFlags = -1;
    return;
  }
  m_writable = new QSocketNotifier(fd, QSocketNotifier::Write, this);
  m_writable->setEnabled(false);
  connect(m_writable, &QSocketNotifier::activated, this, &LineWriter::flush);
  watchForHangup();
}

LineWriter::~LineWriter() {
  if (m_hangupWatch.joinable()) {
    const char byte = 0;
    [[maybe_unused]] const auto written = ::write(m_wake[1], &byte, 1);
    m_hangupWatch.join();
  }
  for (const int end : m_wake) {
    if (end >= 0) ::close(end);
  }
  // The descriptor may be shared with the process that started us; leave it as we found it.
  if (m_savedFlags >= 0) ::fcntl(m_fd, F_SETFL, m_savedFlags);
}

void LineWriter::watchForHangup() {
  if (::pipe(m_wake) != 0) {
    m_wake[0] = m_wake[1] = -1;
    return;
  }
  for (const int end : m_wake) ::fcntl(end, F_SETFD, FD_CLOEXEC);
  m_hangupWatch = std::thread([this, fd = m_fd, wake = m_wake[0]] {
    // No events asked for on the output: poll still reports an error or a hang-up there.
    pollfd entries[2] = {{fd, 0, 0}, {wake, POLLIN, 0}};
    while (::poll(entries, 2, -1) < 0 && errno == EINTR) {
    }
    if (entries[1].revents != 0) return;
    if (entries[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
      QMetaObject::invokeMethod(this, &LineWriter::close, Qt::QueuedConnection);
    }
  });
}

int LineWriter::backlog() const { return (m_current.isEmpty() ? 0 : 1) + (m_next ? 1 : 0); }

void LineWriter::write(const QByteArray& line) {
  if (m_closed || line.isEmpty()) return;
  if (m_current.isEmpty()) {
    m_current = line;
    m_written = 0;
  } else {
    m_next = line;
  }
  flush();
}

void LineWriter::flush() {
  while (!m_closed && !m_current.isEmpty()) {
    const ssize_t written =
        ::write(m_fd, m_current.constData() + m_written, static_cast<size_t>(m_current.size() - m_written));
    if (written < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        if (m_writable) m_writable->setEnabled(true);
        return;
      }
      close();
      return;
    }
    m_written += written;
    if (m_written < m_current.size()) continue;
    m_current = m_next.value_or(QByteArray());
    m_next.reset();
    m_written = 0;
  }
  if (m_writable) m_writable->setEnabled(false);
}

void LineWriter::close() {
  if (m_closed) return;
  m_closed = true;
  if (m_writable) m_writable->setEnabled(false);
  m_current.clear();
  m_next.reset();
  emit closed();
}
