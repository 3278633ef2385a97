#pragma once

// What the benchmarks that run the tray against the real executable share: a StatusNotifierWatcher
// they play themselves, an event loop that runs for a while, a fresh home for each run and the
// figures of /proc.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <functional>

// Plays the StatusNotifierWatcher: counts registrations and remembers the last item's service.
class BenchWatcher : public QDBusVirtualObject {
 public:
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() != QLatin1String("RegisterStatusNotifierItem")) return false;
    item = message.service();
    ++registrations;
    connection.send(message.createReply());
    return true;
  }
  // Takes the watcher's name on the session bus; says why on stderr when it cannot.
  bool serve(QDBusConnection bus, const char* program) {
    if (bus.isConnected() && bus.registerVirtualObject(QStringLiteral("/StatusNotifierWatcher"), this) &&
        bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
      return true;
    }
    std::fprintf(stderr, "%s: needs a session bus without another StatusNotifierWatcher\n", program);
    return false;
  }

  QString item;
  int registrations = 0;
};

// Runs the event loop for `ms` milliseconds, or until `until` holds.
inline void spin(int ms, const std::function<bool()>& until = {}) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms && !(until && until())) {
    QEventLoop loop;
    QTimer::singleShot(5, &loop, &QEventLoop::quit);
    loop.exec();
  }
}

// The environment of a tray run: home and XDG folders of its own inside `home`, on X11.
inline QProcessEnvironment trayEnvironment(const QTemporaryDir& home) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
    environment.insert(QString::fromLatin1(name), home.path() + u'/' + QString::fromLatin1(name));
  }
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  return environment;
}

// The number after `field` ("VmRSS:", say) in a /proc status file; 0 when it is not there.
inline long long statusField(const QString& path, const char* field) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : file.readAll().split('\n')) {
    if (line.startsWith(field)) {
      return line.mid(static_cast<qsizetype>(std::strlen(field))).trimmed().split(' ').value(0).toLongLong();
    }
  }
  return 0;
}

// Starts `program` with `arguments` as a tray run in `home` and waits up to 20 s for its item to
// register with `watcher`; says why on stderr when it does not.
inline bool startTray(QProcess& tray, const BenchWatcher& watcher, const QTemporaryDir& home, const QString& program,
                      const QStringList& arguments, const char* bench) {
  tray.setProcessEnvironment(trayEnvironment(home));
  tray.setProcessChannelMode(QProcess::ForwardedChannels);
  tray.start(program, arguments);
  spin(20000, [&] { return !watcher.item.isEmpty(); });
  if (!watcher.item.isEmpty()) return true;
  std::fprintf(stderr, "%s: no registration within 20 s\n", bench);
  return false;
}
