#pragma once

#include <QFuture>
#include <QPromise>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Runs jobs one at a time, in the order they were queued, on its own thread and nowhere else.
// Futures come from QPromise, so a caller blocking on one (result(), waitForFinished()) only waits:
// Qt cannot run the queued job on the waiting thread, as it does for QtConcurrent's pool.
class SerialExecutor {
 public:
  SerialExecutor();
  // Runs what is queued, then stops the thread.
  ~SerialExecutor();
  SerialExecutor(const SerialExecutor&) = delete;
  SerialExecutor& operator=(const SerialExecutor&) = delete;

  // `work` must not throw.
  template <typename Work>
  auto run(Work work) -> QFuture<decltype(work())> {
    using Result = decltype(work());
    auto promise = std::make_shared<QPromise<Result>>();
    QFuture<Result> future = promise->future();
    promise->start();
    post([promise, work = std::move(work)]() mutable {
      if constexpr (std::is_void_v<Result>) {
        work();
      } else {
        promise->addResult(work());
      }
      promise->finish();
    });
    return future;
  }

 private:
  void post(std::function<void()> job);
  void drain();

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<std::function<void()>> m_jobs;
  bool m_stopping = false;
  std::thread m_thread;
};
