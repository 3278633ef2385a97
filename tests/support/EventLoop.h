#pragma once

#include <QFuture>
#include <chrono>
#include <functional>
#include <stdexcept>

// Runs the Qt event loop until `condition` holds or `timeout` passes; returns the condition's
// last value. Used instead of sleeping in tests.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

// Runs the event loop for a fixed time (to prove that something does NOT happen).
void spinFor(std::chrono::milliseconds duration);

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
