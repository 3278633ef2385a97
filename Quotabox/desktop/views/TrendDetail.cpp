#include "views/TrendDetail.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "style/Look.h"
#include "views/Labels.h"
#include "views/Sparkline.h"
#include "wording/TrendPhrasing.h"

namespace {
QLabel* secondaryLabel(const QString& text, double size, QWidget* parent) {
  return Labels::make(text, Look::font(size), Look::secondary(parent->palette()), parent);
}
}  // namespace

TrendDetail::TrendDetail(const UsageWindow& window, const WindowTrend& trend, Thresholds thresholds, TimePoint now,
                         QWidget* parent)
    : QWidget(parent) {
  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(8, 8, 8, 8);
  stack->setSpacing(4);

  auto* chart = new Sparkline(trend.samples, thresholds, lineColor(palette(), window.usedPercent, thresholds), now,
                              Sparkline::Style::detail, this);
  chart->setAccessibleName(TrendPhrasing::spoken(trend.samples, now));
  stack->addWidget(chart);

  auto* axis = new QHBoxLayout;
  axis->setContentsMargins(0, 0, static_cast<int>(Sparkline::kGutter), 0);
  if (!trend.samples.empty())
    axis->addWidget(secondaryLabel(TrendPhrasing::axisStart(trend.samples.front().at, now), 9.5, this));
  axis->addStretch(1);
  axis->addWidget(secondaryLabel(QStringLiteral("지금"), 9.5, this));
  stack->addLayout(axis);

  auto* lines = new QVBoxLayout;
  lines->setContentsMargins(0, 2, 0, 0);
  lines->setSpacing(2);
  for (const QString& line : TrendPhrasing::detailLines(trend, window, now)) {
    auto* label = secondaryLabel(line, 10.5, this);
    label->setWordWrap(true);
    lines->addWidget(label);
  }
  stack->addLayout(lines);
}

QColor TrendDetail::lineColor(const QPalette& palette, double usedPercent, Thresholds thresholds) {
  switch (levelOf(usedPercent, thresholds)) {
    case UsageLevel::critical:
      return Look::red(palette);
    case UsageLevel::warning:
      return Look::orange(palette);
    case UsageLevel::normal:
      break;
  }
  return Look::accent(palette);
}

void TrendDetail::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Look::withOpacity(Look::primary(palette()), 0.04));
  painter.drawRoundedRect(QRectF(rect()), 7, 7);
}
