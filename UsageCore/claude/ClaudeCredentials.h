#pragma once

#include <QByteArray>
#include <optional>
#include <string>
#include <system_error>

// The OAuth token that Claude Code keeps for the signed-in user. Read fresh on every refresh and
// held in memory for one request only; never written anywhere by us.
struct ClaudeCredentials {
  std::string accessToken;
  std::optional<std::string> subscriptionType;

  // The credential tool could not be started at all.
  class LaunchError : public std::system_error {
   public:
    using std::system_error::system_error;
  };

  // Decodes {"claudeAiOauth": {"accessToken": "...", "subscriptionType": "..."|null}}; every other
  // member is ignored. No value when the document holds no "claudeAiOauth" (only other logins).
  // JSON errors are nlohmann::json::exception; an empty token or a document nested absurdly deep
  // is UsageParseError::invalidResponse.
  static std::optional<ClaudeCredentials> parse(const QByteArray& bytes);

  // The keychain secret through `security find-generic-password -s "Claude Code-credentials" -w`.
  // No value when the item does not exist (exit 44). Any other failure, or a tool still running
  // after 5 seconds (it is killed), throws UsageParseError::invalidResponse; LaunchError when the
  // tool cannot be started. Blocks; safe to call from several threads at once.
  static std::optional<QByteArray> readKeychain(const std::string& toolPath = "/usr/bin/security");

  // Claude Code's file on Linux: $CLAUDE_CONFIG_DIR/.credentials.json, else
  // ~/.claude/.credentials.json. No value when it does not exist; std::system_error when it exists
  // but is not a regular file, is larger than 4 MiB or cannot be read. Never blocks (a FIFO is
  // refused, not read) and never writes it.
  static std::optional<QByteArray> readCredentialsFile();

  // The platform's source: the keychain on macOS, the file elsewhere.
  static std::optional<QByteArray> readDefault();
};
