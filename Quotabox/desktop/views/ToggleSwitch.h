#pragma once

#include <QAbstractButton>

// An on/off switch: a rounded track with a sliding knob. Checkable, focusable, toggled with Space
// like any button; `clicked(bool)` reports the user's change. Give it an accessible name.
class ToggleSwitch : public QAbstractButton {
  Q_OBJECT

 public:
  explicit ToggleSwitch(QWidget* parent = nullptr);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};
