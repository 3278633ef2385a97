#pragma once

#include <QLabel>

// A title that assistive technology announces as a heading.
class HeadingLabel : public QLabel {
  Q_OBJECT

 public:
  HeadingLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent = nullptr);
  // Keeps the label's inherited font and colour.
  explicit HeadingLabel(const QString& text, QWidget* parent = nullptr);
};
