#include "views/SegmentedControl.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QToolButton>

#include "views/TextStyle.h"

SegmentedControl::SegmentedControl(const QStringList& labels, QWidget* parent)
    : QWidget(parent), m_group(new QButtonGroup(this)) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(2);
  for (int i = 0; i < labels.size(); ++i) {
    auto* segment = new QToolButton(this);
    segment->setText(labels[i]);
    segment->setCheckable(true);
    segment->setFocusPolicy(Qt::StrongFocus);
    segment->setFont(TextStyle::font(12));
    m_group->addButton(segment, i);
    layout->addWidget(segment);
    m_segments.push_back(segment);
  }
  m_group->setExclusive(true);
  connect(m_group, &QButtonGroup::idClicked, this, &SegmentedControl::activated);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  restyle();
}

int SegmentedControl::currentIndex() const { return m_group->checkedId(); }

void SegmentedControl::setCurrentIndex(int index) {
  if (QAbstractButton* button = m_group->button(index)) button->setChecked(true);
}

void SegmentedControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(TextStyle::faded(palette().color(QPalette::WindowText), 0.08));
  painter.drawRoundedRect(QRectF(rect()), 6, 6);
}

void SegmentedControl::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange) restyle();
  QWidget::changeEvent(event);
}

void SegmentedControl::restyle() {
  // The selected segment is a raised card on the control's faint track.
  const QPalette pal = palette();
  const bool dark = pal.color(QPalette::Window).lightness() < 128;
  const QString selected = dark ? QStringLiteral("rgba(255,255,255,0.18)") : QStringLiteral("#ffffff");
  const QString sheet =
      QStringLiteral(
          "QToolButton { border: none; border-radius: 5px; padding: 2px 9px; background: transparent; color: %1; }"
          "QToolButton:checked { background: %2; }"
          "QToolButton:focus { border: 1px solid %3; }")
          .arg(pal.color(QPalette::WindowText).name(), selected, pal.color(QPalette::Highlight).name());
  for (QToolButton* segment : m_segments) segment->setStyleSheet(sheet);
}
