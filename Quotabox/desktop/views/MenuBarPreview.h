#pragma once

#include <QImage>
#include <QWidget>

#include "glyph/StatusGlyph.h"
#include "model/TimePoint.h"

class AppModel;

// The tray glyph as the tray item draws it, for the current data and style, on a faint rounded
// plate. A glyph that needs no colour is tinted with the text colour, as a menu bar tints a
// template image.
class MenuBarPreview : public QWidget {
  Q_OBJECT

 public:
  explicit MenuBarPreview(AppModel& model, QWidget* parent = nullptr);

  // The time the slots are judged at; the system clock unless replaced.
  void setClock(Clock clock) { m_clock = std::move(clock); }
  // Re-reads the model and redraws.
  void refresh();

  const StatusGlyph& glyph() const { return m_glyph; }
  // Whether the glyph is drawn for a dark menu bar: the page's own colour scheme.
  bool darkMenuBar() const;
  // The picture as shown, at a device pixel ratio.
  QImage shownImage(qreal devicePixelRatio) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  AppModel& m_model;
  Clock m_clock;
  StatusGlyph m_glyph;
};
