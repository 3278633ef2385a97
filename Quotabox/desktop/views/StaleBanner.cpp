#include "views/StaleBanner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "style/Look.h"
#include "views/Labels.h"
#include "views/SmallButton.h"
#include "views/SymbolLabel.h"
#include "wording/UsageWording.h"

StaleBanner::StaleBanner(TimePoint fetchedAt, TimePoint now, bool isBusy, std::function<void()> onRefresh,
                         QWidget* parent)
    : QWidget(parent) {
  const QPalette& colors = palette();
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(8, 8, 8, 8);
  row->setSpacing(8);
  row->addWidget(new SymbolLabel(QStringLiteral("clock.badge.exclamationmark"), 11, Look::orange(colors), 0, this), 0,
                 Qt::AlignTop);

  const QString title = UsageWording::staleTitle();
  const QString detail = UsageWording::staleDetail(fetchedAt, now);
  auto* text = new QVBoxLayout;
  text->setSpacing(2);
  text->addWidget(Labels::make(title, Look::font(11, QFont::DemiBold), Look::primary(colors), this));
  auto* detailLabel = Labels::make(detail, Look::font(11), Look::secondary(colors), this);
  detailLabel->setWordWrap(true);
  text->addWidget(detailLabel);
  row->addLayout(text, 1);

  auto* button = new SmallButton(QStringLiteral("새로고침"), {}, this);
  button->setEnabled(!isBusy);
  connect(button, &QPushButton::clicked, this, [onRefresh = std::move(onRefresh)] {
    if (onRefresh) onRefresh();
  });
  row->addWidget(button, 0, Qt::AlignTop);

  setAccessibleName(title);
  setAccessibleDescription(detail);
}

void StaleBanner::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Look::withOpacity(Look::orange(palette()), 0.12));
  painter.drawRoundedRect(QRectF(rect()), 7, 7);
}
