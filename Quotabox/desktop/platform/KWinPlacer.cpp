#include "platform/KWinPlacer.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include "platform/JsonRect.h"

namespace {

QString number(double value) { return QString::number(value, 'f', 0); }

}  // namespace

KWinPlacer::KWinPlacer(QDBusConnection bus, qint64 pid, QString kwin, QObject* parent)
    : PopoverPlacer(parent), m_bus(std::move(bus)), m_pid(pid), m_kwin(std::move(kwin)) {
  m_answerTimeout.setSingleShot(true);
  m_answerTimeout.setInterval(answerTimeoutMs);
  connect(&m_answerTimeout, &QTimer::timeout, this, [this] { answer(std::nullopt); });
  m_unload.setSingleShot(true);
  m_unload.setInterval(scriptLifetimeMs);
  connect(&m_unload, &QTimer::timeout, this, &KWinPlacer::unloadScript);
  m_registered = m_bus.isConnected() &&
                 m_bus.registerObject(QString::fromLatin1(objectPath), this, QDBusConnection::ExportScriptableSlots);
}

KWinPlacer::~KWinPlacer() {
  if (m_unload.isActive()) unloadScript();
  if (m_registered) m_bus.unregisterObject(QString::fromLatin1(objectPath));
}

std::unique_ptr<KWinPlacer> KWinPlacer::forSession() {
  if (!qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QLatin1String("KDE"), Qt::CaseInsensitive)) return nullptr;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface() ||
      !bus.interface()->isServiceRegistered(QStringLiteral("org.kde.KWin")).value()) {
    return nullptr;
  }
  return std::make_unique<KWinPlacer>(bus, QCoreApplication::applicationPid());
}

QString KWinPlacer::areaScript(std::optional<QPointF> point, const QString& service, const QString& path) {
  // KWin 5 numbers its screens, KWin 6 hands out output objects; both take either in clientArea().
  return QStringLiteral(R"JS((function () {
  var hasPoint = %1, px = %2, py = %3;
  var outputs = workspace.screens, count = outputs ? outputs.length : workspace.numScreens;
  var desktop = workspace.currentDesktop, chosen = workspace.activeScreen;
  for (var i = 0; hasPoint && i < count; ++i) {
    var s = outputs ? outputs[i] : i, g = workspace.clientArea(KWin.ScreenArea, s, desktop);
    if (px >= g.x && px < g.x + g.width && py >= g.y && py < g.y + g.height) { chosen = s; break; }
  }
  var screen = workspace.clientArea(KWin.ScreenArea, chosen, desktop);
  var free = workspace.clientArea(KWin.MaximizeArea, chosen, desktop);
  function plain(r) { return {x: r.x, y: r.y, width: r.width, height: r.height}; }
  callDBus("%4", "%5", "com.orrisfen.Quotabox.PopoverPlacer", "reportArea",
           JSON.stringify({screen: plain(screen), available: plain(free)}));
})();
)JS")
      .arg(point ? QStringLiteral("true") : QStringLiteral("false"), number(point ? point->x() : 0),
           number(point ? point->y() : 0), service, path);
}

QString KWinPlacer::moveScript(qint64 pid, QPoint topLeft) {
  return QStringLiteral(R"JS((function () {
  function move(w) {
    var g = w.frameGeometry;
    if (g.x === %2 && g.y === %3) return;
    g.x = %2;
    g.y = %3;
    w.frameGeometry = g;
  }
  function place(w) {
    if (!w || w.pid !== %1 || w.caption !== "Quotabox") return;
    move(w);
    w.skipTaskbar = true;
    w.skipPager = true;
    w.skipSwitcher = true;
    // KWin may still place a window it has just added: hold the position through its first moves.
    var moves = 0;
    if (w.frameGeometryChanged) w.frameGeometryChanged.connect(function () { if (++moves <= 5) move(w); });
  }
  var list = workspace.windowList ? workspace.windowList() : workspace.clientList();
  for (var i = 0; i < list.length; ++i) place(list[i]);
  (workspace.windowAdded || workspace.clientAdded).connect(place);
})();
)JS")
      .arg(pid)
      .arg(topLeft.x())
      .arg(topLeft.y());
}

std::optional<PopoverArea> KWinPlacer::areaFromReport(const QString& report) {
  if (report.size() > maxAnswerBytes) return std::nullopt;
  const QJsonDocument document = QJsonDocument::fromJson(report.toUtf8());
  if (!document.isObject()) return std::nullopt;
  const auto screen = jsonRect(document.object().value(QLatin1String("screen")));
  const auto available = jsonRect(document.object().value(QLatin1String("available")));
  if (!screen || !available || !screen->contains(*available)) return std::nullopt;
  return PopoverArea{*screen, *available};
}

void KWinPlacer::lookUp(std::optional<QPointF> point, AreaHandler done) {
  answer(std::nullopt);
  if (!m_registered) {
    done(std::nullopt);
    return;
  }
  m_pending = std::move(done);
  m_answerTimeout.start();
  runScript(areaScript(point, m_bus.baseService(), QString::fromLatin1(objectPath)));
}

void KWinPlacer::reportArea(const QString& report) {
  if (m_pending) answer(areaFromReport(report));
}

void KWinPlacer::answer(std::optional<PopoverArea> area) {
  m_answerTimeout.stop();
  if (!m_pending) return;
  AreaHandler done = std::move(m_pending);
  m_pending = nullptr;
  done(area);
}

void KWinPlacer::moveTo(QPoint topLeft) { runScript(moveScript(m_pid, topLeft)); }

void KWinPlacer::cancel() {
  m_answerTimeout.stop();
  m_pending = nullptr;
}

void KWinPlacer::runScript(const QString& text) {
  if (!m_dir.isValid()) return;
  // One script of ours at a time. Each has its own plugin name: KWin lets go of an unloaded one
  // only later, and refuses to load a name it still holds.
  if (m_unload.isActive()) unloadScript();
  m_plugin = QStringLiteral("quotabox-popover-%1-%2").arg(m_pid).arg(++m_serial);
  const QString path = m_dir.filePath(QStringLiteral("popover-%1.js").arg(m_serial));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) || file.write(text.toUtf8()) < 0) {
    return;
  }
  file.close();
  QDBusMessage load = QDBusMessage::createMethodCall(
      m_kwin, QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"), QStringLiteral("loadScript"));
  load << path << m_plugin;
  auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(load, answerTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
    call->deleteLater();
    const QDBusPendingReply<int> reply = *call;
    if (reply.isError() || reply.value() < 0) return;
    // KWin serves each loaded script at "/<id>".
    QDBusMessage run = QDBusMessage::createMethodCall(m_kwin, QStringLiteral("/%1").arg(reply.value()),
                                                      QStringLiteral("org.kde.kwin.Script"), QStringLiteral("run"));
    m_bus.asyncCall(run, answerTimeoutMs);
  });
  m_unload.start();
}

void KWinPlacer::unloadScript() {
  m_unload.stop();
  QDBusMessage unload = QDBusMessage::createMethodCall(
      m_kwin, QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"), QStringLiteral("unloadScript"));
  unload << m_plugin;
  m_bus.asyncCall(unload, answerTimeoutMs);
  QFile::remove(m_dir.filePath(QStringLiteral("popover-%1.js").arg(m_serial)));
}
