#pragma once

#include <QWidget>
#include <functional>
#include <optional>

#include "model/ServiceID.h"
#include "model/ServiceUsage.h"
#include "model/TimePoint.h"
#include "settings/UsageLevel.h"
#include "views/TrendContext.h"

class QVBoxLayout;

// One service on the usage page: its name and plan, then by state a loading row, a sign-in or
// failure message, and the window rows with their banner and metrics.
class ServiceCard : public QWidget {
  Q_OBJECT

 public:
  struct Input {
    ServiceID service = ServiceID::claude;
    std::optional<ServiceUsage> usage;  // absent until the first fetch ends
    TimePoint now;
    Thresholds thresholds;
    double refreshInterval = 120;
    bool isRefreshing = false;
    std::function<void()> onRefresh;
    std::optional<TrendContext> trends;
  };

  explicit ServiceCard(const Input& input, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QWidget* titleRow(const Input& input);
  void addMessage(const Input& input, QVBoxLayout* stack);
  void addValues(const Input& input, QVBoxLayout* stack);
};
