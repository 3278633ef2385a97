#include "views/MenuBarPreview.h"

#include <QPainter>

#include "appmodel/AppModel.h"
#include "glyph/MenuBarLabel.h"
#include "style/Look.h"

namespace {
constexpr int kPadX = 6;
constexpr int kPadY = 2;
}  // namespace

MenuBarPreview::MenuBarPreview(AppModel& model, QWidget* parent) : QWidget(parent), m_model(model), m_clock(systemNow) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  refresh();
}

void MenuBarPreview::refresh() {
  StatusGlyph glyph = MenuBarLabel::glyph(m_model, m_clock());
  const bool resized = glyph.width() != m_glyph.width();
  m_glyph = std::move(glyph);
  setAccessibleName(QStringLiteral("메뉴바 미리보기, ") + m_glyph.accessibilityText());
  if (resized) updateGeometry();
  update();
}

bool MenuBarPreview::darkMenuBar() const { return palette().color(QPalette::Window).lightness() < 128; }

QImage MenuBarPreview::shownImage(qreal devicePixelRatio) const {
  QImage image = m_glyph.image(darkMenuBar(), devicePixelRatio);
  if (!m_glyph.isTemplate()) return image;
  // Template: keep the shape (alpha), take the colour from the page's text.
  QPainter painter(&image);
  painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
  painter.fillRect(QRectF(0, 0, image.width(), image.height()), palette().color(QPalette::WindowText));
  return image;
}

QSize MenuBarPreview::sizeHint() const { return {m_glyph.width() + 2 * kPadX, StatusGlyph::height + 2 * kPadY}; }

void MenuBarPreview::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Look::withOpacity(palette().color(QPalette::WindowText), 0.06));
  painter.drawRoundedRect(QRectF(rect()), 4, 4);
  const QImage image = shownImage(devicePixelRatioF());
  painter.drawImage(QPointF(kPadX, (height() - StatusGlyph::height) / 2.0), image);
}
