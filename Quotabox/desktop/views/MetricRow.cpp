#include "views/MetricRow.h"

#include <QHBoxLayout>

#include "style/Look.h"
#include "views/Labels.h"

MetricRow::MetricRow(const UsageMetric& metric, QWidget* parent) : QWidget(parent) {
  const QString label = QString::fromStdString(metric.label);
  const QString value = QString::fromStdString(metric.value);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(Labels::make(label, Look::font(11), Look::secondary(palette()), this));
  row->addStretch(1);
  row->addWidget(Labels::make(value, Look::font(11), Look::primary(palette()), this));
  setAccessibleName(label);
  setAccessibleDescription(value);
}
