#pragma once

#include "scenarios/ScriptedProvider.h"

// Last good values after a failure: the normal windows with an unavailable status.
class RetainedMockProvider : public ScriptedProvider {
 public:
  explicit RetainedMockProvider(ServiceID service) : ScriptedProvider(service, &RetainedMockProvider::usage) {}

  // The scripted result for a given instant.
  static ServiceUsage usage(ServiceID service, TimePoint now);
};
