#pragma once

#include <QByteArray>
#include <optional>
#include <string>

#include "model/ServiceUsage.h"
#include "model/TimePoint.h"

// Pure parsers of outside data. They throw UsageParseError::invalidResponse for data of the
// wrong shape and nlohmann::json::exception for JSON that does not decode.
namespace UsageParsing {

// Body of Anthropic's OAuth usage endpoint -> the Claude usage.
ServiceUsage claude(const QByteArray& body, const std::optional<std::string>& planName, TimePoint now);

// One line of a Codex session log -> the Codex usage, or nothing when the line is not a
// rate-limit record of the account's main limit.
std::optional<ServiceUsage> codexEvent(const QByteArray& line, const std::optional<std::string>& planName,
                                       TimePoint now);

// Codex's auth.json -> the plan claim of its id token. Never throws.
std::optional<std::string> codexPlan(const QByteArray& authJson);

}  // namespace UsageParsing
