#pragma once

#include <QDBusConnection>
#include <QPoint>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

#include "tray/PopoverPlacer.h"

// Places the popover on KDE Plasma (KWin) with small KWin scripts loaded over D-Bus: one reports the
// output under the click and its area less the panels back to us over D-Bus, one moves our window
// (also taking it off the task bar, pager and switcher) now or as soon as it appears. Scripts are
// unloaded and their files removed after a few seconds.
class KWinPlacer : public PopoverPlacer {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.orrisfen.Quotabox.PopoverPlacer")

 public:
  static constexpr const char* objectPath = "/com/orrisfen/Quotabox/PopoverPlacer";
  static constexpr int answerTimeoutMs = 1500;
  static constexpr int scriptLifetimeMs = 5000;
  // Longest report a script may send back.
  static constexpr int maxAnswerBytes = 4096;

  // `kwin` names the KWin service (tests pass a stand-in).
  KWinPlacer(QDBusConnection bus, qint64 pid, QString kwin = QStringLiteral("org.kde.KWin"), QObject* parent = nullptr);
  ~KWinPlacer() override;

  // A placer when KWin is on the session bus and the desktop is Plasma, else nothing.
  static std::unique_ptr<KWinPlacer> forSession();

  void lookUp(std::optional<QPointF> point, AreaHandler done) override;
  void moveTo(QPoint topLeft) override;
  void cancel() override;

  static QString areaScript(std::optional<QPointF> point, const QString& service, const QString& path);
  static QString moveScript(qint64 pid, QPoint topLeft);
  // The area a script reported, or nothing for anything else.
  static std::optional<PopoverArea> areaFromReport(const QString& report);

 public Q_SLOTS:
  // Called by the area script.
  Q_SCRIPTABLE void reportArea(const QString& report);

 private:
  void runScript(const QString& text);
  void unloadScript();
  void answer(std::optional<PopoverArea> area);

  QDBusConnection m_bus;
  qint64 m_pid;
  QString m_kwin;
  QString m_plugin;
  QTemporaryDir m_dir;
  bool m_registered = false;
  int m_serial = 0;
  AreaHandler m_pending;
  QTimer m_answerTimeout;
  QTimer m_unload;
};
