#pragma once

#include "scenarios/ScriptedProvider.h"

// Outdated but successful data: fetched three hours ago, the 5-hour window's cycle already over.
class StaleMockProvider : public ScriptedProvider {
 public:
  explicit StaleMockProvider(ServiceID service) : ScriptedProvider(service, &StaleMockProvider::usage) {}

  // The scripted result for a given instant.
  static ServiceUsage usage(ServiceID service, TimePoint now);
};
