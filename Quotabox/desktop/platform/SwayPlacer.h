#pragma once

#include <QByteArray>
#include <QPoint>
#include <QTimer>
#include <memory>

#include "platform/SwayIpc.h"
#include "tray/PopoverPlacer.h"

// Places the popover on sway and i3-compatible compositors through their IPC socket: the output
// under the click from get_outputs, the area its bars leave free from the visible workspace's
// rectangle (get_workspaces), and a command that floats the window and moves it there.
class SwayPlacer : public PopoverPlacer {
  Q_OBJECT

 public:
  // Tries to move a window that is not mapped yet this often, this many times.
  static constexpr int retryMs = 25;
  static constexpr int maxAttempts = 40;

  SwayPlacer(QString socketPath, qint64 pid, QObject* parent = nullptr);

  // The placer for the socket named by SWAYSOCK (else I3SOCK), or nothing when neither is set.
  static std::unique_ptr<SwayPlacer> fromEnvironment();

  void lookUp(std::optional<QPointF> point, AreaHandler done) override;
  void moveTo(QPoint topLeft) override;
  void cancel() override;

  // The output holding `point` (else the focused one, else the first active one) and the rectangle
  // of its visible workspace (else the output less a panel's worth). Nothing for replies that are
  // not what sway sends.
  static std::optional<PopoverArea> areaFrom(const QByteArray& outputs, const QByteArray& workspaces,
                                             std::optional<QPointF> point);
  static QByteArray moveCommand(qint64 pid, QPoint topLeft);
  // Whether every command of a run_command reply succeeded.
  static bool commandSucceeded(const QByteArray& reply);

 private:
  void sendMove();

  SwayIpc m_ipc;
  qint64 m_pid;
  QTimer m_retry;
  QPoint m_target;
  int m_attempts = 0;
};
