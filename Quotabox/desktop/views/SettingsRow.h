#pragma once

#include <QString>
#include <QWidget>

class QLabel;

// One line of a settings section: the title on the left, the control on the right. The control
// takes the title as its accessible name, since it shows no label of its own.
class SettingsRow : public QWidget {
  Q_OBJECT

 public:
  SettingsRow(const QString& title, QWidget* control, QWidget* parent = nullptr);

  QString title() const;
  QWidget* control() const { return m_control; }

 private:
  QLabel* m_title;
  QWidget* m_control;
};
