#pragma once

#include <QComboBox>

// A picker in the control style, with a chevron marking its list (the style sheet draws the box).
class Picker : public QComboBox {
  Q_OBJECT

 public:
  explicit Picker(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};
