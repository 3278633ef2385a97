#pragma once

#include <stop_token>

#include "ServiceID.h"
#include "ServiceUsage.h"
#include "UsageProvider.h"

// Last good values after a failure: the normal windows with an unavailable status.
class RetainedMockProvider : public UsageProvider {
 public:
  explicit RetainedMockProvider(ServiceID service) : m_service(service) {}

  ServiceID service() const override { return m_service; }
  ServiceUsage fetch(std::stop_token stop) override;
  // The scripted result for a given instant.
  static ServiceUsage usage(ServiceID service, TimePoint now);

 private:
  ServiceID m_service;
};
