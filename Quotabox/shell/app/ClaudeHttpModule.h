#pragma once

#include <QString>
#include <chrono>

#include "claude/ClaudeUsageTransfer.h"

// The launcher's Claude request: the HTTP code, and Qt Network with it, is a module loaded on the
// first request, so a report that makes none never loads them.
namespace ClaudeHttpModule {

// The module's file for a launcher at `launcher` (beside it, or in the install's private folder).
QString modulePath(const QString& launcher);

// A request function that loads the module at `path` (by default this program's module) on its
// first call, from whichever thread, and performs every exchange through it within `limit`. When
// the module cannot be loaded, that call and every later one fail with TransportError; the reason
// goes to standard error once.
ClaudeUsageRequestFunction request(std::chrono::milliseconds limit, QString path = {});

}  // namespace ClaudeHttpModule
