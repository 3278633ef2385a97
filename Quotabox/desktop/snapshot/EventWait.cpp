#include "snapshot/EventWait.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace EventWait {
namespace {
bool g_cancelled = false;
constexpr int kPollMs = 10;
}  // namespace

bool cancelled() { return g_cancelled; }

bool until(const std::function<bool()>& done, int timeoutMs) {
  if (done()) return true;
  const QDeadlineTimer deadline(timeoutMs);
  while (!g_cancelled && !deadline.hasExpired()) {
    QEventLoop loop;
    bool polled = false;
    QTimer::singleShot(kPollMs, &loop, [&] {
      polled = true;
      loop.quit();
    });
    loop.exec();
    // A loop that ended without our timer was told to quit by the application.
    if (!polled) g_cancelled = true;
    if (done()) return true;
  }
  return false;
}

void pause(int ms) {
  until([] { return false; }, ms);
}

}  // namespace EventWait
