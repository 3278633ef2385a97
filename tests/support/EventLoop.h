#pragma once

#include <QFuture>
#include <chrono>
#include <functional>
#include <stdexcept>

// Runs the Qt event loop until `condition` holds or `timeout` passes; returns the condition's
// last value. Used instead of sleeping in tests.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

// Runs the event loop for a fixed time; only for tests that vary timing on purpose.
void spinFor(std::chrono::milliseconds duration);

// Runs the event loop until everything queued before the call, and what that queues in turn
// (`rounds` deep), has been delivered: a check that something did NOT happen then sees every
// effect already on its way. Work still running on other threads is the caller's to await.
void drainEvents(int rounds = 3);

// Waits (running the event loop) for a future; throws on timeout.
template <typename T>
T awaitFuture(QFuture<T> future, std::chrono::milliseconds timeout = std::chrono::milliseconds(10000)) {
  if (!waitUntil([&] { return future.isFinished(); }, timeout)) {
    throw std::runtime_error("future did not finish in time");
  }
  if constexpr (std::is_void_v<T>) {
    future.waitForFinished();
  } else {
    return future.result();
  }
}
