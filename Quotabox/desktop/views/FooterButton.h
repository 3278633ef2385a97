#pragma once

#include <QToolButton>

// A borderless button with a symbol and a title, as in the popover's footer; shared by its pages.
class FooterButton : public QToolButton {
  Q_OBJECT

 public:
  FooterButton(const QString& title, const QString& symbol, const QString& help, QWidget* parent = nullptr);
};
