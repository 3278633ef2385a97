#pragma once

#include <stop_token>

#include "model/ServiceID.h"
#include "model/ServiceUsage.h"

// A source of usage data. fetch() blocks, may run on any thread concurrently with other
// providers, and never throws: every failure is reported through the returned status.
class UsageProvider {
 public:
  virtual ~UsageProvider() = default;
  virtual ServiceID service() const = 0;
  virtual ServiceUsage fetch(std::stop_token stop) = 0;
};
