#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class AppModel;
class Caption;
class HistoryClearRow;
class MenuBarPreview;
class NotificationStatus;
class QComboBox;
class QTimer;
class SegmentedControl;
class ToggleSwitch;

// The popover's settings page. Every change is applied at once through the model and its
// settings; the page keeps no state of its own and follows the model, the settings, the
// notifier and the store as they change. Escape goes back to the usage page, or cancels the
// history deletion while it asks for confirmation.
class SettingsView : public QWidget {
  Q_OBJECT

 public:
  explicit SettingsView(AppModel& model, QWidget* parent = nullptr);

  // The footer's "Quotabox <version>", or the development-build text.
  static QString versionText();

  // What "종료" does; quits the application unless replaced.
  void setQuitAction(std::function<void()> quit) { m_quit = std::move(quit); }

  // Back to the usage page, or out of the deletion question while it is shown.
  void cancel();

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QWidget* makeHeader();
  QWidget* makeFooter();
  QWidget* makeRefreshSection();
  QWidget* makeMenuBarSection();
  QWidget* makeNotificationSection();
  QWidget* makeTrendSection();
  QWidget* makeGeneralSection();
  void observeModel();
  // Re-reads everything shown from the model.
  void sync();

  AppModel& m_model;
  std::function<void()> m_quit;
  QTimer* m_ticker;

  QComboBox* m_interval = nullptr;
  SegmentedControl* m_style = nullptr;
  MenuBarPreview* m_preview = nullptr;
  Caption* m_styleCaption = nullptr;
  ToggleSwitch* m_notifications = nullptr;
  QComboBox* m_warning = nullptr;
  QComboBox* m_critical = nullptr;
  NotificationStatus* m_notificationStatus = nullptr;
  ToggleSwitch* m_trends = nullptr;
  ToggleSwitch* m_history = nullptr;
  Caption* m_historyOff = nullptr;
  Caption* m_historyFileError = nullptr;
  HistoryClearRow* m_historyClear = nullptr;
  ToggleSwitch* m_launchAtLogin = nullptr;
  Caption* m_loginUnsupported = nullptr;
  Caption* m_loginError = nullptr;
};
