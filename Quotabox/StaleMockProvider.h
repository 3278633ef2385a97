#pragma once

#include <stop_token>

#include "ServiceID.h"
#include "ServiceUsage.h"
#include "UsageProvider.h"

// Outdated but successful data: fetched three hours ago, the 5-hour window's cycle already over.
class StaleMockProvider : public UsageProvider {
 public:
  explicit StaleMockProvider(ServiceID service) : m_service(service) {}

  ServiceID service() const override { return m_service; }
  ServiceUsage fetch(std::stop_token stop) override;
  // The scripted result for a given instant.
  static ServiceUsage usage(ServiceID service, TimePoint now);

 private:
  ServiceID m_service;
};
