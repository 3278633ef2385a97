#include "PrivateBus.h"

PrivateBus::PrivateBus() {
  m_daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                 QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
  if (!m_daemon.waitForStarted(5000)) return;
  // The address is the daemon's first line; it listens once it is written.
  for (int waited = 0; waited < 100 && !m_daemon.canReadLine(); ++waited) m_daemon.waitForReadyRead(100);
  m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

PrivateBus::~PrivateBus() {
  if (m_daemon.state() == QProcess::NotRunning) return;
  m_daemon.terminate();
  if (!m_daemon.waitForFinished(5000)) m_daemon.kill();
  m_daemon.waitForFinished(1000);
}
