#pragma once

#include <QObject>
#include <memory>
#include <optional>

#include "tray/PopoverWindow.h"
#include "tray/TrayController.h"

class AppModel;
class FreedesktopNotificationCenter;
class MissingTrayHost;
class PanelColorScheme;
class SingleInstance;
class SwitchingTrayItem;

// The tray face of a running app: the tray item, the popover with its pages, the controller
// between them and the model, and the single-instance service that lets a second start open the
// popover. Lives for the tray run.
class TrayRun : public QObject {
  Q_OBJECT

 public:
  // What a second tray start and one that finds an unresponsive first say on standard error.
  static QString handedOverLine();
  static QString unreachableLine();

  TrayRun(AppModel& model, SingleInstance& instance, PopoverWindow::Pages pages, TrayController::FaceMaker makeFace,
          QObject* parent = nullptr);
  ~TrayRun() override;

  // The "--open" launch action.
  void openAfterLaunch();

  SwitchingTrayItem& item() const { return *m_item; }
  PopoverWindow& popover() const { return *m_popover; }
  TrayController& controller() const { return *m_controller; }

 private:
  // Destroyed in reverse: the controller refers to the item and the popover, so it goes first.
  std::unique_ptr<PanelColorScheme> m_colorScheme;
  std::unique_ptr<SwitchingTrayItem> m_item;
  std::unique_ptr<PopoverWindow> m_popover;
  std::unique_ptr<TrayController> m_controller;
  // Without any tray host: the notice and the popover as a window.
  std::unique_ptr<FreedesktopNotificationCenter> m_notices;
  std::unique_ptr<MissingTrayHost> m_missingHost;
};
