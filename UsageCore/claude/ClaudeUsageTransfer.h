#pragma once

#include <QByteArray>
#include <QUrl>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <stop_token>
#include <utility>
#include <vector>

using HeaderPairs = std::vector<std::pair<QByteArray, QByteArray>>;

// One GET as the Claude provider asks for it: headers are sent in this order.
struct ClaudeUsageRequest {
  QUrl url;
  HeaderPairs headers;
  std::chrono::milliseconds timeout{10000};  // longest silence while transferring
  std::stop_token stop;                      // aborts the exchange at once when requested
};

// Any HTTP answer, including 3xx, 4xx and 5xx.
struct ClaudeUsageResponse {
  int statusCode = 0;
  HeaderPairs headers;
  QByteArray body;

  // The first header of that name (case-insensitive), or a null array.
  QByteArray header(const QByteArray& name) const;
};

// The exchange did not produce a complete HTTP answer: no connection, TLS failure, timeout,
// cancellation, a reset in the middle of the body.
class TransportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A successful status whose body passed the size cap: the transfer was aborted, and the answer
// cannot be usage.
class ResponseTooLargeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using ClaudeUsageRequestFunction = std::function<ClaudeUsageResponse(const ClaudeUsageRequest&)>;

namespace ClaudeUsageTransfer {

// Real answers are a few kilobytes; reading stops as soon as a body grows past this.
constexpr qint64 kMaxBodyBytes = 4 * 1024 * 1024;

// Sent as the User-Agent of every request.
QByteArray userAgent();

// Performs the request on the calling thread with its own event loop and a fresh network manager
// (no cookies, no cache, no redirects followed), aborting the whole exchange after `limit` or when
// the request's stop token fires. A status outside 200-299 is returned as an answer whatever else
// went wrong; otherwise TransportError when no complete answer arrives, ResponseTooLargeError when
// the body passes kMaxBodyBytes.
ClaudeUsageResponse perform(const ClaudeUsageRequest& request,
                            std::chrono::milliseconds limit = std::chrono::seconds(15));

// perform() with the given limit, as a request function.
ClaudeUsageRequestFunction withLimit(std::chrono::milliseconds limit);

}  // namespace ClaudeUsageTransfer
