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

// The longest a whole exchange may take.
constexpr std::chrono::seconds kExchangeLimit{15};

// Real answers are a few kilobytes; reading stops as soon as a body grows past this.
constexpr qint64 kMaxBodyBytes = 4 * 1024 * 1024;

// Sent as the User-Agent of every request.
inline QByteArray userAgent() { return QByteArrayLiteral("Quotabox/" QUOTABOX_VERSION); }

// The HTTP code lives outside the core: in a static library for the desktop program and in a
// module the launcher loads on its first request. Exceptions do not cross the module boundary, so
// its entry point reports how the exchange ended instead.
enum class Outcome : int { answered = 0, transportFailed = 1, tooLarge = 2 };
using ModuleEntry = int (*)(const ClaudeUsageRequest* request, long long limitMilliseconds,
                            ClaudeUsageResponse* response);
inline constexpr char kModuleEntryName[] = "quotabox_claude_usage_perform";

}  // namespace ClaudeUsageTransfer
