#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

// One line of text that shrinks down to `minimumScale` of its font size to fit its width, and is
// elided beyond that.
class FittingLabel : public QWidget {
  Q_OBJECT

 public:
  FittingLabel(const QString& text, const QFont& font, const QColor& color, double minimumScale,
               QWidget* parent = nullptr);

  const QString& text() const { return m_text; }
  // The font scale used at `width`: 1 when the text fits, never below the minimum scale.
  double scaleFor(double width) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString m_text;
  QFont m_font;
  QColor m_color;
  double m_minimumScale;
};
