#pragma once

#include <QString>
#include <QWidget>

class QLabel;

// Small secondary text with an optional leading symbol, wrapping onto several lines. The symbol
// is decoration: only the text is announced.
class Caption : public QWidget {
  Q_OBJECT

 public:
  explicit Caption(const QString& text, const QString& symbol = {}, QWidget* parent = nullptr);

  QString text() const;
  void setText(const QString& text);
  QString symbol() const { return m_symbol; }
  // Single line instead of wrapping (status labels beside a row title).
  void setWrapping(bool wrap);
  // Semibold in the primary text colour, for a question rather than a remark.
  void setEmphasized();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString m_symbol;
  QLabel* m_text;
  int m_symbolSize;
  bool m_emphasized = false;
};
