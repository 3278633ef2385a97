#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <optional>

#include "model/TimePoint.h"
#include "store/UsageStore.h"
#include "tray/TrayFace.h"

class AppModel;
class PopoverWindow;
class QMenu;
class TrayItem;
class TrayMenu;

// Keeps the tray item in step with the model and turns what the user does with it into popover
// toggles, refreshes and the small context menu. Main thread.
class TrayController : public QObject {
  Q_OBJECT

 public:
  using FaceMaker = std::function<TrayFace(const AppModel& model, TimePoint now, bool darkPanel)>;

  // Longest wait before the label's staleness is judged again while it can still change. Timers
  // do not count suspended time, so a resumed machine is caught up within this interval.
  static constexpr int rejudgeIntervalMs = 30000;
  // An activation this soon after the popover closed on losing activation is the same click.
  static constexpr qint64 reopenGuardMs = 400;

  TrayController(AppModel& model, TrayItem& item, PopoverWindow& popover, FaceMaker makeFace, Clock clock = systemNow,
                 QObject* parent = nullptr);
  ~TrayController() override;

  // Builds the face for the current time and sends it to the item when it differs from the last.
  void redraw();
  void setDarkPanel(bool dark);

  // Opens the popover at `point` unless it is open (then closes it).
  void togglePopover(std::optional<QPoint> point);
  void openPopover(std::optional<QPoint> point);
  void openSettings(std::optional<QPoint> point);
  // A refresh unless one is running.
  void refresh();

  // The entries hosts draw natively: 사용량 보기, 새로고침, 설정, separator, 종료.
  TrayMenu& menu() const { return *m_trayMenu; }
  // The same entries as a popup, for hosts that ask the application to show its menu.
  QMenu* contextMenu() const { return m_menu; }
  // A host's ContextMenu request: the popup at the point on X11; elsewhere a parentless popup
  // would be a stray toplevel window, so the popover opens instead.
  void showContextMenu(QPoint point);
  // Whether popups can be placed at a screen point (X11); tests replace it.
  std::function<bool()> canPlacePopups;
  // Whether a staleness re-judgement is scheduled, and when (ms from now).
  bool rejudgeScheduled() const { return m_rejudge.isActive(); }
  int rejudgeInMs() const { return m_rejudge.isActive() ? m_rejudge.interval() : -1; }
  const TrayFace& lastFace() const { return m_face; }

  // The next instant after `now` at which the label can change without new data: a fresh
  // snapshot becoming outdated, or a window reaching its reset. Absent when nothing can change.
  static std::optional<TimePoint> nextJudgementChange(const UsageMap& usages, double refreshInterval, TimePoint now);

 private:
  void scheduleRejudge(TimePoint now);

  AppModel& m_model;
  TrayItem& m_item;
  QPointer<PopoverWindow> m_popover;
  FaceMaker m_makeFace;
  Clock m_clock;
  bool m_darkPanel = true;
  bool m_hasFace = false;
  TrayFace m_face;
  QTimer m_rejudge;
  QMenu* m_menu = nullptr;
  TrayMenu* m_trayMenu = nullptr;
};
