#pragma once

#include <QString>
#include <QWidget>
#include <functional>

// A card's sign-in or failure message: symbol, title, detail and one action button.
class StateMessage : public QWidget {
  Q_OBJECT

 public:
  StateMessage(const QString& symbol, const QString& title, const QString& detail, const QString& actionTitle,
               bool isBusy, std::function<void()> action, QWidget* parent = nullptr);

  // The detail as rich text: everything escaped, `back-quoted` commands in code style, line
  // breaks kept. An unpaired back quote stays as it is.
  static QString markup(const QString& detail);
};
