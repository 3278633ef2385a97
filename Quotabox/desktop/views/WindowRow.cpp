#include "views/WindowRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <cmath>

#include "style/Look.h"
#include "views/FittingLabel.h"
#include "views/Labels.h"
#include "views/LevelBadge.h"
#include "views/QuotaboxView.h"
#include "views/SymbolLabel.h"
#include "views/TrendDetail.h"
#include "views/TrendRow.h"
#include "wording/KoreanTime.h"
#include "wording/TrendPhrasing.h"
#include "wording/UsageWording.h"

namespace {

QString wholePercent(double value) { return QString::number(static_cast<long long>(std::round(value))); }

QWidget* summary(const UsageWindow& window, UsageLevel level, Thresholds thresholds, TimePoint now, QWidget* parent) {
  const QPalette& colors = parent->palette();
  const bool passed = UsageWording::isResetPassed(window, now);
  auto* box = new QWidget(parent);
  auto* stack = new QVBoxLayout(box);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(5);

  auto* top = new QHBoxLayout;
  top->setSpacing(6);
  top->addWidget(
      Labels::make(QString::fromStdString(window.label), Look::font(12, QFont::Medium), Look::primary(colors), box));
  if (!passed && level != UsageLevel::normal) top->addWidget(new LevelBadge(level, box));
  top->addStretch(1);
  top->addWidget(Labels::make(KoreanTime::percent(window.usedPercent) + QStringLiteral(" 사용"),
                              Look::font(12, level != UsageLevel::normal ? QFont::Bold : QFont::Medium),
                              passed ? Look::secondary(colors) : Look::primary(colors), box));
  stack->addLayout(top);

  stack->addWidget(new QuotaboxView(window.usedPercent, level, thresholds, passed, box));

  const QColor secondary = Look::secondary(colors);
  const QFont small = Look::font(11);
  auto* bottom = new QHBoxLayout;
  bottom->setSpacing(4);
  if (passed) bottom->addWidget(new SymbolLabel(QStringLiteral("clock.arrow.circlepath"), 11, secondary, 0, box));
  if (window.resetsAt)
    bottom->addWidget(new FittingLabel(UsageWording::resetLine(window, now), small, secondary, 0.85, box), 1);
  bottom->addStretch(window.resetsAt ? 0 : 1);
  bottom->addWidget(Labels::make(UsageWording::remainingText(window, now), small, secondary, box));
  stack->addLayout(bottom);

  box->setAccessibleName(QString::fromStdString(window.label) + QStringLiteral(" 한도"));
  box->setAccessibleDescription(WindowRow::spokenValue(window, level, now));
  return box;
}

}  // namespace

WindowRow::WindowRow(const UsageWindow& window, UsageLevel level, Thresholds thresholds, TimePoint now,
                     std::optional<TrendInput> trends, QWidget* parent)
    : QWidget(parent) {
  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(6);
  stack->addWidget(summary(window, level, thresholds, now, this));
  if (!trends) return;
  const auto presentation = TrendPhrasing::presentation(trends->trend, window, now, trends->isCurrent);
  if (!presentation) return;
  stack->addWidget(
      new TrendRow(window, trends->trend, *presentation, thresholds, now, trends->isExpanded, trends->toggle, this));
  if (trends->isExpanded && TrendRow::isExpandable(*presentation, trends->trend)) {
    stack->addWidget(new TrendDetail(window, trends->trend, thresholds, now, this));
  }
}

QString WindowRow::spokenValue(const UsageWindow& window, UsageLevel level, TimePoint now) {
  const QString used = wholePercent(window.usedPercent);
  if (UsageWording::isResetPassed(window, now)) {
    return QStringLiteral("이전 주기에 ") + used + QStringLiteral("퍼센트 사용, ") +
           KoreanTime::absolute(*window.resetsAt, now) + QStringLiteral("에 초기화됨, 새로고침 필요");
  }
  QString text =
      used + QStringLiteral("퍼센트 사용, ") + wholePercent(100.0 - window.usedPercent) + QStringLiteral("퍼센트 남음");
  if (level != UsageLevel::normal) text += QStringLiteral(", ") + UsageWording::levelWord(level);
  if (window.resetsAt) {
    const double left = (*window.resetsAt - now).count();
    text += QStringLiteral(", ") +
            (left < 60 ? QStringLiteral("곧") : KoreanTime::durationPhrase(left) + QStringLiteral(" 후")) +
            QStringLiteral(" 초기화, ") + KoreanTime::absolute(*window.resetsAt, now);
  }
  return text;
}
