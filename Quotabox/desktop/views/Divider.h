#pragma once

#include <QWidget>

// A one-pixel horizontal rule in the faint primary colour; shared by the popover's pages.
class Divider : public QWidget {
  Q_OBJECT

 public:
  explicit Divider(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};
