#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <vector>

#include "model/ServiceUsage.h"
#include "model/UsageProvider.h"

// A latch that fetches wait on until the test opens it (or their stop token fires).
class Gate {
 public:
  void open() {
    std::lock_guard lock(m_mutex);
    m_open = true;
    m_changed.notify_all();
  }
  // Returns false when the wait ended because a stop was requested.
  bool wait(std::stop_token stop) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait(lock, stop, [this] { return m_open; });
  }
  void waitRegardless() { wait(std::stop_token()); }

 private:
  std::mutex m_mutex;
  std::condition_variable_any m_changed;
  bool m_open = false;
};

// A provider whose answer a test scripts; counts calls and remembers whether it saw a stop.
class FakeProvider : public UsageProvider {
 public:
  using Respond = std::function<ServiceUsage(std::stop_token)>;

  FakeProvider(ServiceID service, Respond respond) : m_service(service), m_respond(std::move(respond)) {}
  // Answers the queued results in turn, repeating the last one.
  FakeProvider(ServiceID service, std::vector<ServiceUsage> results)
      : FakeProvider(service, [queue = std::make_shared<std::deque<ServiceUsage>>(results.begin(), results.end())](
                                  std::stop_token) {
          ServiceUsage next = queue->front();
          if (queue->size() > 1) queue->pop_front();
          return next;
        }) {}

  ServiceID service() const override { return m_service; }
  ServiceUsage fetch(std::stop_token stop) override {
    ++calls;
    ServiceUsage result = m_respond(stop);
    if (stop.stop_requested()) sawStop = true;
    return result;
  }

  std::atomic<int> calls{0};
  std::atomic<bool> sawStop{false};

 private:
  ServiceID m_service;
  Respond m_respond;
};

inline ServiceUsage okUsage(ServiceID service, std::vector<UsageWindow> windows, double fetchedAt) {
  ServiceUsage usage;
  usage.service = service;
  usage.planName = "Max";
  usage.windows = std::move(windows);
  usage.fetchedAt = fromEpochSeconds(fetchedAt);
  return usage;
}

// The window most tests start from: Claude's five hours at `percent`.
inline UsageWindow fiveHourWindow(double percent, std::optional<TimePoint> resetsAt) {
  return UsageWindow("five_hour", "5시간", percent, resetsAt, 300);
}

inline ServiceUsage failedUsage(ServiceID service, ProviderStatus status, double fetchedAt) {
  return ServiceUsage::failure(service, fromEpochSeconds(fetchedAt), std::move(status));
}

// A clock the test moves by hand; providers may read it on their worker threads.
struct ManualClock {
  std::shared_ptr<std::atomic<double>> seconds = std::make_shared<std::atomic<double>>(1760000000);
  Clock clock() const {
    return [s = seconds] { return fromEpochSeconds(*s); };
  }
  void advance(double by) const { *seconds += by; }
  TimePoint now() const { return fromEpochSeconds(*seconds); }
};

// How often a signal has been emitted since the call.
template <typename Sender, typename Signal>
std::shared_ptr<int> countSignal(const Sender* sender, Signal signal) {
  auto count = std::make_shared<int>(0);
  QObject::connect(sender, signal, [count] { ++*count; });
  return count;
}
