#pragma once

#include <QWidget>

#include "model/UsageMetric.h"

// One extra value of a service: its label, then its value at the right.
class MetricRow : public QWidget {
  Q_OBJECT

 public:
  explicit MetricRow(const UsageMetric& metric, QWidget* parent = nullptr);
};
