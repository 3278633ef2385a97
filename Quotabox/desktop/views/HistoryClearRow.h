#pragma once

#include <QWidget>

class AppModel;
class Caption;
class QPushButton;

// The "저장된 기록" row: asks before deleting the usage history, then shows the deletion running,
// failed (with a retry) or done. Reads the model's confirmation stage and the store's clearing
// state.
class HistoryClearRow : public QWidget {
  Q_OBJECT

 public:
  enum class State { idle, confirming, clearing, failed, cleared };

  explicit HistoryClearRow(AppModel& model, QWidget* parent = nullptr);

  State state() const;
  // Shows the part that belongs to the current state.
  void sync();

  QPushButton* askButton() const { return m_ask; }
  QPushButton* cancelButton() const { return m_cancel; }
  QPushButton* confirmButton() const { return m_confirm; }
  QPushButton* retryButton() const { return m_retry; }

 private:
  QWidget* makeConfirmation();

  AppModel& m_model;
  QWidget* m_row;
  QPushButton* m_ask;
  Caption* m_progress;
  Caption* m_cleared;
  QWidget* m_failure;
  QPushButton* m_retry;
  QWidget* m_confirmation;
  QPushButton* m_cancel;
  QPushButton* m_confirm;
};
