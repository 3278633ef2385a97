#pragma once

#include <QPushButton>
#include <QString>

// A compact push button (text 11) with an optional leading symbol in the text colour.
class SmallButton : public QPushButton {
  Q_OBJECT

 public:
  explicit SmallButton(const QString& text, const QString& symbol = {}, QWidget* parent = nullptr);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void updateIcon();

  QString m_symbol;
};
