#include "model/ServiceUsage.h"

#include <algorithm>

const UsageWindow* ServiceUsage::window(const std::string& windowID) const {
  const auto it = std::find_if(windows.begin(), windows.end(), [&](const UsageWindow& w) { return w.id == windowID; });
  return it == windows.end() ? nullptr : &*it;
}

ServiceUsage ServiceUsage::failure(ServiceID service, TimePoint fetchedAt, ProviderStatus status) {
  ServiceUsage usage;
  usage.service = service;
  usage.fetchedAt = fetchedAt;
  usage.status = std::move(status);
  return usage;
}
