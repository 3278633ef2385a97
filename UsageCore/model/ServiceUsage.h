#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/ProviderStatus.h"
#include "model/ServiceID.h"
#include "model/TimePoint.h"
#include "model/UsageMetric.h"
#include "model/UsageWindow.h"

// The result of one fetch of one service.
struct ServiceUsage {
  ServiceID service = ServiceID::claude;
  std::optional<std::string> planName;
  std::vector<UsageWindow> windows;
  std::vector<UsageMetric> metrics;
  TimePoint fetchedAt;
  ProviderStatus status;

  // A window by id, or nullptr.
  const UsageWindow* window(const std::string& windowID) const;
  bool operator==(const ServiceUsage&) const = default;

  // A result without values: no plan, windows or metrics.
  static ServiceUsage failure(ServiceID service, TimePoint fetchedAt, ProviderStatus status);
};
