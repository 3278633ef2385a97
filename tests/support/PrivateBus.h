#pragma once

#include <QProcess>
#include <QString>

// A session bus of the test's own (dbus-daemon), so that the programs a test starts claim the
// session's name without meeting those of tests that run beside it.
class PrivateBus {
 public:
  PrivateBus();
  ~PrivateBus();
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  // Empty when the daemon did not start.
  QString address() const { return m_address; }

 private:
  QProcess m_daemon;
  QString m_address;
};
