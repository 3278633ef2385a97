#pragma once

#include <atomic>
#include <stop_token>

#include "model/ServiceID.h"
#include "model/ServiceUsage.h"
#include "model/UsageProvider.h"

// Scripted usage for development runs and screenshots. No waiting, network or files; every
// reset time is relative to the system time at the start of the fetch.
class MockUsageProvider : public UsageProvider {
 public:
  enum class Scenario { normal, high, notSignedIn, error };

  MockUsageProvider(ServiceID service, Scenario scenario) : m_service(service), m_scenario(scenario) {}

  ServiceID service() const override { return m_service; }
  Scenario scenario() const { return m_scenario.load(); }
  // May be called while another thread fetches; that fetch uses either value.
  void setScenario(Scenario scenario) { m_scenario.store(scenario); }

  ServiceUsage fetch(std::stop_token stop) override;
  // The scripted result for a given instant.
  static ServiceUsage usage(ServiceID service, Scenario scenario, TimePoint now);

 private:
  ServiceID m_service;
  std::atomic<Scenario> m_scenario;
};
