#pragma once

#include <stop_token>

#include "model/ServiceID.h"
#include "model/ServiceUsage.h"
#include "model/UsageProvider.h"

// A demonstration provider whose result is a pure function of the service and the time of the
// fetch: no waiting, no network, no files.
class ScriptedProvider : public UsageProvider {
 public:
  using Script = ServiceUsage (*)(ServiceID service, TimePoint now);

  ScriptedProvider(ServiceID service, Script script) : m_service(service), m_script(script) {}

  ServiceID service() const override { return m_service; }
  ServiceUsage fetch(std::stop_token) override { return m_script(m_service, systemNow()); }

 private:
  ServiceID m_service;
  Script m_script;
};
