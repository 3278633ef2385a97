#include "views/MetricRow.h"

#include <QHBoxLayout>

#include "views/Labels.h"
#include "views/ViewStyle.h"

MetricRow::MetricRow(const UsageMetric& metric, QWidget* parent) : QWidget(parent) {
  const QString label = QString::fromStdString(metric.label);
  const QString value = QString::fromStdString(metric.value);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(Labels::make(label, ViewStyle::font(11), ViewStyle::secondary(palette()), this));
  row->addStretch(1);
  row->addWidget(Labels::make(value, ViewStyle::font(11), ViewStyle::primary(palette()), this));
  setAccessibleName(label);
  setAccessibleDescription(value);
}
