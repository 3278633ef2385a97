#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QVBoxLayout;

// A titled group of the settings page: the title above a faintly filled rounded box that stacks
// its content.
class SettingsSection : public QWidget {
  Q_OBJECT

 public:
  explicit SettingsSection(const QString& title, QWidget* parent = nullptr);

  QString title() const;
  // Appends a row, caption or any other content to the box.
  void addContent(QWidget* content);

 private:
  QLabel* m_title;
  QWidget* m_box;
  QVBoxLayout* m_content;
};
