#pragma once

#include <functional>
#include <stop_token>

#include "model/ServiceID.h"
#include "model/ServiceUsage.h"

// A source of usage data. fetch() blocks, may run on any thread concurrently with other
// providers, and never throws: every failure is reported through the returned status.
class UsageProvider {
 public:
  // Starts a task on a worker thread.
  using Launcher = std::function<void(std::function<void()>)>;

  virtual ~UsageProvider() = default;
  virtual ServiceID service() const = 0;
  virtual ServiceUsage fetch(std::stop_token stop) = 0;
  // Where a fetch may start side work that a stop must not wait for; the store hands over its
  // workers before the first fetch and an empty launcher once its workers are gone.
  virtual void useLauncher(Launcher) {}
};
