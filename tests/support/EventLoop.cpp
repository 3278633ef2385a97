#include "EventLoop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <memory>
#include <stdexcept>

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  QDeadlineTimer deadline(timeout);
  while (!condition()) {
    if (deadline.hasExpired()) return condition();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::sendPostedEvents();
    // processEvents returns at once when nothing is queued; yield instead of spinning hot.
    QThread::msleep(1);
  }
  return true;
}

void spinFor(std::chrono::milliseconds duration) {
  QDeadlineTimer deadline(duration);
  while (!deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
}

void drainEvents(int rounds) {
  for (int round = 0; round < rounds; ++round) {
    // Posted events are delivered in order, so the marker arrives after everything before it.
    auto reached = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [reached] { *reached = true; }, Qt::QueuedConnection);
    if (!waitUntil([&] { return *reached; })) throw std::runtime_error("the event loop did not drain");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}
