#pragma once

#include <functional>

// Waits on the main thread while events keep flowing, for the non-interactive modes. A quit of
// the application (SIGTERM, SIGINT) ends the current wait and makes every later one return at
// once, so a cancelled run finishes its remaining steps without blocking.
namespace EventWait {
// True when `done` held before `timeoutMs` passed.
bool until(const std::function<bool()>& done, int timeoutMs);
// Lets queued events and timers run for `ms` milliseconds.
void pause(int ms);
bool cancelled();
}  // namespace EventWait
