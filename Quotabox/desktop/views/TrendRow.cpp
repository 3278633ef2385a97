#include "views/TrendRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "style/Look.h"
#include "views/Labels.h"
#include "views/Sparkline.h"
#include "views/SymbolLabel.h"
#include "views/TrendDetail.h"
#include "wording/TrendPhrasing.h"

using Tone = TrendPresentation::Tone;

TrendRow::TrendRow(const UsageWindow& window, const WindowTrend& trend, const TrendPresentation& presentation,
                   Thresholds thresholds, TimePoint now, bool isExpanded, std::function<void()> onToggle,
                   QWidget* parent)
    : QAbstractButton(parent), m_tone(presentation.tone), m_interactive(isExpandable(presentation, trend)) {
  const QPalette& colors = palette();
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(6, 4, 6, 4);
  row->setSpacing(6);

  row->addWidget(new SymbolLabel(presentation.symbol, 11, iconColor(colors, presentation), 14, this));

  const bool urgent = presentation.tone == Tone::danger || presentation.tone == Tone::caution;
  auto* text = new QVBoxLayout;
  text->setSpacing(1);
  text->addWidget(Labels::make(presentation.title, Look::font(11, urgent ? QFont::DemiBold : QFont::Normal),
                               urgent ? Look::primary(colors) : Look::secondary(colors), this));
  if (presentation.subtitle) {
    text->addWidget(Labels::make(*presentation.subtitle, Look::font(10.5), Look::secondary(colors), this));
  }
  row->addLayout(text, 1);
  row->addSpacing(4);

  if (trend.samples.size() >= 2) {
    row->addWidget(new Sparkline(trend.samples, thresholds,
                                 lineColor(colors, presentation, window.usedPercent, thresholds), now,
                                 Sparkline::Style::mini, this));
  }
  if (m_interactive) {
    auto* chevron = new SymbolLabel(QStringLiteral("chevron.down"), 9, Look::secondary(colors), 0, this);
    chevron->setRotation(isExpanded ? 180 : 0);
    row->addWidget(chevron);
    setToolTip(isExpanded ? QStringLiteral("추이 접기") : QStringLiteral("추이 자세히 보기"));
    setWhatsThis(isExpanded ? QStringLiteral("자세한 추이를 접어요") : QStringLiteral("자세한 추이를 펼쳐요"));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QAbstractButton::clicked, this, [onToggle = std::move(onToggle)] {
      if (onToggle) onToggle();
    });
  } else {
    setFocusPolicy(Qt::NoFocus);
  }
  setAccessibleName(QStringLiteral("예측"));
  setAccessibleDescription(presentation.spoken + QLatin1Char(' ') + TrendPhrasing::spoken(trend.samples, now));
}

bool TrendRow::isExpandable(const TrendPresentation& presentation, const WindowTrend& trend) {
  return presentation.hasDetail && trend.samples.size() >= 2;
}

QColor TrendRow::iconColor(const QPalette& palette, const TrendPresentation& presentation) {
  switch (presentation.tone) {
    case Tone::danger:
      return Look::red(palette);
    case Tone::caution:
      return Look::orange(palette);
    case Tone::calm:
      if (presentation.symbol == QLatin1String("checkmark.circle")) return Look::green(palette);
      break;
    case Tone::quiet:
      break;
  }
  return Look::secondary(palette);
}

QColor TrendRow::lineColor(const QPalette& palette, const TrendPresentation& presentation, double usedPercent,
                           Thresholds thresholds) {
  if (presentation.tone == Tone::quiet) return Look::secondary(palette);
  return TrendDetail::lineColor(palette, usedPercent, thresholds);
}

QColor TrendRow::backgroundColor(const QPalette& palette, Tone tone) {
  if (tone == Tone::danger) return Look::withOpacity(Look::red(palette), 0.12);
  if (tone == Tone::caution) return Look::withOpacity(Look::orange(palette), 0.12);
  return Qt::transparent;
}

bool TrendRow::hitButton(const QPoint& pos) const { return m_interactive && rect().contains(pos); }

void TrendRow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor background = backgroundColor(palette(), m_tone);
  if (background.alpha() > 0) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(background);
    painter.drawRoundedRect(QRectF(rect()), 6, 6);
  }
  if (hasFocus()) {
    painter.setPen(QPen(Look::withOpacity(Look::accent(palette()), 0.6), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
  }
}
