#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

// One symbol of the icon font, centred in its frame; decorative, so it takes no focus.
class SymbolLabel : public QWidget {
  Q_OBJECT

 public:
  // `frameWidth` 0 makes the frame as wide as the glyph.
  SymbolLabel(const QString& name, double size, const QColor& color, double frameWidth = 0, QWidget* parent = nullptr);

  const QString& name() const { return m_name; }
  const QColor& color() const { return m_color; }
  void setRotation(double degrees);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString m_name;
  double m_size;
  QColor m_color;
  double m_frameWidth;
  double m_rotation = 0;
};
