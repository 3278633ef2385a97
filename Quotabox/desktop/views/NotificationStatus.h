#pragma once

#include <QWidget>

class AppModel;
class Caption;
class SmallButton;

// The notification permission line of the settings page, chosen by the notifier's authorization:
// nothing while it is unknown or undetermined, why notifications cannot be shown, the test
// notification button, or the note that notifications are switched off in the system settings.
// Hidden while notifications are off.
class NotificationStatus : public QWidget {
  Q_OBJECT

 public:
  explicit NotificationStatus(AppModel& model, QWidget* parent = nullptr);

  // Re-reads the settings and the notifier.
  void sync();

 private:
  AppModel& m_model;
  Caption* m_unsupported;
  SmallButton* m_testButton;
  QWidget* m_denied;
};
