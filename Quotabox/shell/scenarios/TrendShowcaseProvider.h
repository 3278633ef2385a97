#pragma once

#include "scenarios/ScriptedProvider.h"

// Values chosen so that every kind of forecast shows up.
class TrendShowcaseProvider : public ScriptedProvider {
 public:
  explicit TrendShowcaseProvider(ServiceID service) : ScriptedProvider(service, &TrendShowcaseProvider::usage) {}

  // The scripted result for a given instant.
  static ServiceUsage usage(ServiceID service, TimePoint now);
};
