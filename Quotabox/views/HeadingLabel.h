#pragma once

#include <QLabel>

// A label that assistive technology announces as a heading.
class HeadingLabel : public QLabel {
  Q_OBJECT

 public:
  explicit HeadingLabel(const QString& text, QWidget* parent = nullptr);
};
