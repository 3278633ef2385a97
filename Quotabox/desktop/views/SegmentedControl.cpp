#include "views/SegmentedControl.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPainter>
#include <QToolButton>

#include "style/Look.h"

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
    segment->setFont(Look::font(12));
    m_group->addButton(segment, i);
    layout->addWidget(segment);
    m_segments.push_back(segment);
  }
  m_group->setExclusive(true);
  connect(m_group, &QButtonGroup::idClicked, this, &SegmentedControl::activated);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

int SegmentedControl::currentIndex() const { return m_group->checkedId(); }

void SegmentedControl::setCurrentIndex(int index) {
  if (QAbstractButton* button = m_group->button(index)) button->setChecked(true);
}

void SegmentedControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Look::withOpacity(palette().color(QPalette::WindowText), 0.08));
  painter.drawRoundedRect(QRectF(rect()), 6, 6);
}
