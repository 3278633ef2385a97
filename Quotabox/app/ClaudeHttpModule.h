#pragma once

#include <QString>
#include <chrono>

#include "claude/ClaudeUsageTransfer.h"

// The launcher's Claude request: the HTTP code, and Qt Network with it, is a module loaded on the
// first request, so a report that makes none never loads them.
namespace ClaudeHttpModule {

// The module's file for a launcher at `launcher` (beside it, or in the install's private folder).
QString modulePath(const QString& launcher);

// A request function that loads the module once per process, on its first call from any thread,
// and performs the exchange through it within `limit`. When the module cannot be loaded, this and
// every later call fail with TransportError; the reason goes to standard error once.
ClaudeUsageRequestFunction request(std::chrono::milliseconds limit);

}  // namespace ClaudeHttpModule
