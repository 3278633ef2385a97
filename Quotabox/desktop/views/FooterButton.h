#pragma once

#include <QToolButton>

// A borderless button with a symbol and a title, as in the popover's footer; shared by its pages.
class FooterButton : public QToolButton {
  Q_OBJECT

 public:
  FooterButton(const QString& title, const QString& symbol, const QString& help, QWidget* parent = nullptr);

  // Exactly the symbol and title in the control style's tool-button box, so the visible edge of
  // the last button is where the row's margin ends.
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }
};
