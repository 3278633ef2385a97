#include "views/ServiceCard.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "style/Look.h"
#include "views/Divider.h"
#include "views/HeadingLabel.h"
#include "views/Labels.h"
#include "views/MetricRow.h"
#include "views/PlanBadge.h"
#include "views/Spinner.h"
#include "views/StaleBanner.h"
#include "views/StateMessage.h"
#include "views/WindowRow.h"
#include "wording/UsageWording.h"

ServiceCard::ServiceCard(const Input& input, QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(12, 12, 12, 12);
  stack->setSpacing(10);
  stack->addWidget(titleRow(input));
  setAccessibleName(QString::fromStdString(ServiceIDs::displayName(input.service)));

  if (!input.usage) {
    auto* loading = new QWidget(this);
    auto* row = new QHBoxLayout(loading);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(new Spinner(14, loading));
    const QString text = QStringLiteral("사용량을 불러오는 중…");
    row->addWidget(Labels::make(text, Look::font(12), Look::secondary(palette()), loading), 1);
    loading->setAccessibleName(text);
    stack->addWidget(loading);
    return;
  }
  addMessage(input, stack);
  if (input.usage->status.isOk() || !input.usage->windows.empty()) addValues(input, stack);
}

QWidget* ServiceCard::titleRow(const Input& input) {
  auto* box = new QWidget(this);
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(6);
  row->addWidget(new HeadingLabel(QString::fromStdString(ServiceIDs::displayName(input.service)),
                                  Look::font(13, QFont::DemiBold), Look::primary(palette()), box));
  const auto& usage = input.usage;
  if (usage && usage->status.isOk() && usage->planName) {
    row->addWidget(new PlanBadge(QString::fromStdString(*usage->planName), box));
  }
  row->addStretch(1);
  return box;
}

void ServiceCard::addMessage(const Input& input, QVBoxLayout* stack) {
  const ProviderStatus& status = input.usage->status;
  switch (status.kind) {
    case ProviderStatus::Kind::notSignedIn:
      stack->addWidget(new StateMessage(QStringLiteral("person.crop.circle.badge.questionmark"),
                                        UsageWording::signInTitle(), UsageWording::signInDetail(input.service),
                                        QStringLiteral("새로고침"), input.isRefreshing, input.onRefresh, this));
      break;
    case ProviderStatus::Kind::unavailable:
      stack->addWidget(new StateMessage(QStringLiteral("exclamationmark.triangle"), UsageWording::failureTitle(),
                                        UsageWording::failureDetail(status.message, input.refreshInterval),
                                        QStringLiteral("다시 시도"), input.isRefreshing, input.onRefresh, this));
      break;
    case ProviderStatus::Kind::ok:
      return;
  }
  if (!input.usage->windows.empty()) {
    stack->addWidget(
        Labels::make(UsageWording::retainedNotice(), Look::font(11, QFont::DemiBold), Look::orange(palette()), this));
  }
}

void ServiceCard::addValues(const Input& input, QVBoxLayout* stack) {
  const ServiceUsage& usage = *input.usage;
  const bool outdated = UsageWording::isOutdated(usage, input.now, input.refreshInterval);
  if (outdated)
    stack->addWidget(new StaleBanner(usage.fetchedAt, input.now, input.isRefreshing, input.onRefresh, this));

  if (usage.windows.empty()) {
    stack->addWidget(Labels::make(QStringLiteral("표시할 사용량 한도 정보가 없어요."), Look::font(12),
                                  Look::secondary(palette()), this));
  }
  const bool isCurrent = usage.status.isOk() && !outdated;
  for (const UsageWindow& window : usage.windows) {
    std::optional<WindowRow::TrendInput> trend;
    if (input.trends) {
      const TrendContext& context = *input.trends;
      trend = WindowRow::TrendInput{context.trend(window.id), isCurrent, context.isExpanded(window.id),
                                    [toggle = context.toggle, id = window.id] { toggle(id); }};
    }
    stack->addWidget(new WindowRow(window, levelOf(window.usedPercent, input.thresholds), input.thresholds, input.now,
                                   std::move(trend), this));
  }

  const auto metrics = UsageWording::visibleMetrics(usage);
  if (metrics.empty()) return;
  stack->addWidget(new Divider(this));
  for (const UsageMetric& metric : metrics) stack->addWidget(new MetricRow(metric, this));
}

void ServiceCard::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor primary = Look::primary(palette());
  painter.setBrush(Look::withOpacity(primary, 0.05));
  painter.setPen(QPen(Look::withOpacity(primary, 0.08), 1));
  painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
}
