#pragma once

#include <QTimer>
#include <QWidget>

// A small indeterminate progress indicator. It only animates while shown.
class Spinner : public QWidget {
  Q_OBJECT

 public:
  explicit Spinner(int side, QWidget* parent = nullptr);

  QSize sizeHint() const override { return {m_side, m_side}; }
  bool isAnimating() const { return m_timer.isActive(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  int m_side;
  int m_step = 0;
  QTimer m_timer;
};
