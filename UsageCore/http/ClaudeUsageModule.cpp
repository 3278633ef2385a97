#include <type_traits>

#include "http/ClaudeUsageNetwork.h"

// The module's only exported symbol; everything else in it is hidden.
extern "C" __attribute__((visibility("default"))) int quotabox_claude_usage_perform(const ClaudeUsageRequest* request,
                                                                                    long long limitMilliseconds,
                                                                                    ClaudeUsageResponse* response) {
  if (request == nullptr || response == nullptr) return static_cast<int>(ClaudeUsageTransfer::Outcome::transportFailed);
  return static_cast<int>(
      ClaudeUsageTransfer::performInto(*request, std::chrono::milliseconds(limitMilliseconds), *response));
}

// The loader looks the entry up by this name and casts it to this type.
static_assert(std::is_same_v<decltype(&quotabox_claude_usage_perform), ClaudeUsageTransfer::ModuleEntry>);
