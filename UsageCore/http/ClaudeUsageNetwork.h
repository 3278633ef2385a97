#pragma once

#include <chrono>

#include "claude/ClaudeUsageTransfer.h"

namespace ClaudeUsageTransfer {

// Performs the request on the calling thread with its own event loop and a fresh network manager
// (no cookies, no cache, no redirects followed), aborting the whole exchange after `limit` or when
// the request's stop token fires. A status outside 200-299 is returned as an answer whatever else
// went wrong; otherwise TransportError when no complete answer arrives, ResponseTooLargeError when
// the body passes kMaxBodyBytes.
ClaudeUsageResponse perform(const ClaudeUsageRequest& request,
                            std::chrono::milliseconds limit = std::chrono::seconds(15));

// perform() with the given limit, as a request function.
ClaudeUsageRequestFunction withLimit(std::chrono::milliseconds limit);

// perform() as the module's entry point does it: never throws.
Outcome performInto(const ClaudeUsageRequest& request, std::chrono::milliseconds limit,
                    ClaudeUsageResponse& response) noexcept;

}  // namespace ClaudeUsageTransfer
