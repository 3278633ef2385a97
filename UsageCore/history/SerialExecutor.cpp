#include "history/SerialExecutor.h"

SerialExecutor::SerialExecutor() : m_thread([this] { drain(); }) {}

SerialExecutor::~SerialExecutor() {
  {
    const std::lock_guard lock(m_mutex);
    m_stopping = true;
  }
  m_wake.notify_one();
  m_thread.join();
}

void SerialExecutor::post(std::function<void()> job) {
  {
    const std::lock_guard lock(m_mutex);
    m_jobs.push_back(std::move(job));
  }
  m_wake.notify_one();
}

void SerialExecutor::drain() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(m_mutex);
      m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
      if (m_jobs.empty()) return;  // stopping, and nothing left
      job = std::move(m_jobs.front());
      m_jobs.pop_front();
    }
    job();
  }
}
