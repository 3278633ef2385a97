#pragma once

#include <QByteArray>
#include <QUrl>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "claude/ClaudeUsageTransfer.h"
#include "model/TimePoint.h"
#include "model/UsageProvider.h"

// Claude usage from Anthropic's OAuth usage endpoint, with the token Claude Code keeps.
// Every failure becomes a status with a fixed Korean sentence; fetch() never throws.
class ClaudeUsageProvider : public UsageProvider {
 public:
  using CredentialsFunction = std::function<std::optional<QByteArray>()>;

  // Installs the platform credentials source. The core holds no HTTP code: until the owner sets
  // `request`, every exchange fails as a network failure.
  ClaudeUsageProvider();

  // Raw credentials document, or no value when the user is not signed in. It may block for
  // seconds, so it runs through the launcher when there is one and a stop ends the wait for it;
  // without a launcher it runs inline.
  CredentialsFunction credentials;
  ClaudeUsageRequestFunction request;
  Clock clock = systemNow;
  std::chrono::milliseconds requestTimeout{10000};

  ServiceID service() const override { return ServiceID::claude; }
  // A stop request aborts the credentials wait or the transfer at once (the network message).
  ServiceUsage fetch(std::stop_token stop) override;
  void useLauncher(Launcher launch) override;

  // https://api.anthropic.com/api/oauth/usage, or QUOTABOX_CLAUDE_USAGE_URL when it is https or
  // plain http to a loopback host.
  static QUrl endpoint();

 private:
  struct Backoff;

  ServiceUsage exchange(const std::string& token, const std::optional<std::string>& plan, std::stop_token stop);

  // After 429/503 with Retry-After, fetches before that time repeat the answer without a request.
  std::shared_ptr<Backoff> m_backoff;
  std::mutex m_launchMutex;
  Launcher m_launch;
};
