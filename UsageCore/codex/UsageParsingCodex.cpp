#include <QList>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>

#include "codex/CodexRecord.h"
#include "model/ISO8601.h"
#include "model/UsageParseError.h"
#include "model/UsageParsing.h"

namespace UsageParsing {
namespace {

using nlohmann::json;

// The claims member under which the id token groups the account's authentication details.
constexpr const char* kAuthClaimKey = "https://api.openai.com/auth";

// The account's main limit; other ids name model-specific buckets.
constexpr const char* kMainLimitID = "codex";

constexpr double kFirstSecondOfYear1 = -62135596800.0;
constexpr double kLastSecondOfYear9999 = 253402300799.0;

// Member lookup where absent and null both mean "none".
const json* optionalMember(const json& object, const char* name) {
  const auto it = object.find(name);
  return it == object.end() || it->is_null() ? nullptr : &*it;
}

const json& requireObject(const json& value) {
  if (!value.is_object()) throw json::type_error::create(302, "type must be object", &value);
  return value;
}

const json* optionalObject(const json& object, const char* name) {
  const json* member = optionalMember(object, name);
  return member ? &requireObject(*member) : nullptr;
}

std::optional<std::string> optionalString(const json& object, const char* name) {
  const json* member = optionalMember(object, name);
  if (!member) return std::nullopt;
  return member->get<std::string>();  // throws for other types
}

struct DecodedWindow {
  double usedPercent;
  std::optional<long long> windowMinutes;
  std::optional<double> resetsAt;
};

DecodedWindow decodeWindow(const json& value) {
  requireObject(value);
  DecodedWindow window;
  const json& used = value.at("used_percent");
  if (!used.is_number()) throw json::type_error::create(302, "used_percent must be a number", &used);
  window.usedPercent = used.get<double>();
  if (const json* minutes = optionalMember(value, "window_minutes")) {
    // get<int> would silently truncate a fraction or wrap a huge value.
    if (!minutes->is_number_integer()) {
      throw json::type_error::create(302, "window_minutes must be an integer", minutes);
    }
    constexpr auto largest = static_cast<long long>(std::numeric_limits<int>::max());
    const long long value =
        minutes->is_number_unsigned()
            ? static_cast<long long>(std::min<std::uint64_t>(minutes->get<std::uint64_t>(), largest + 1))
            : minutes->get<long long>();
    if (value > largest) throw json::out_of_range::create(406, "window_minutes is too large", minutes);
    // Negative values of any size are kept so that they fail as too short a window.
    window.windowMinutes = value;
  }
  if (const json* resets = optionalMember(value, "resets_at")) {
    if (!resets->is_number()) throw json::type_error::create(302, "resets_at must be a number", resets);
    window.resetsAt = resets->get<double>();
  }
  return window;
}

// Throws for figures that no record can mean.
std::optional<CodexRecord::Window> checkedWindow(const std::optional<DecodedWindow>& window) {
  if (!window) return std::nullopt;
  if (!std::isfinite(window->usedPercent)) throw UsageParseError::invalidResponse();
  if (window->windowMinutes && *window->windowMinutes < 1) throw UsageParseError::invalidResponse();
  if (window->resetsAt) {
    const double seconds = *window->resetsAt;
    if (!std::isfinite(seconds) || seconds < kFirstSecondOfYear1 || seconds > kLastSecondOfYear9999) {
      throw UsageParseError::invalidResponse();
    }
  }
  CodexRecord::Window checked;
  checked.usedPercent = window->usedPercent;
  if (window->windowMinutes) checked.windowMinutes = static_cast<int>(*window->windowMinutes);
  checked.resetsAt = window->resetsAt;
  return checked;
}

std::string windowLabel(const std::optional<int>& minutes, bool primary) {
  if (!minutes) return primary ? "기본 한도" : "추가 한도";
  if (*minutes == 300) return "5시간";
  if (*minutes == 10080) return "주간";
  if (*minutes % 60 == 0) return std::to_string(*minutes / 60) + "시간";
  return std::to_string(*minutes) + "분";
}

}  // namespace

std::optional<ServiceUsage> codexEvent(const QByteArray& line, const std::optional<std::string>& planName,
                                       TimePoint now) {
  const std::optional<CodexRecord> record =
      CodexRecord::decode(std::string_view(line.constData(), static_cast<std::size_t>(line.size())));
  if (!record) return std::nullopt;
  return record->usage(planName, now);
}

std::optional<std::string> codexPlan(const QByteArray& authJson) {
  std::string token;
  try {
    const json auth = json::parse(authJson.constData(), authJson.constData() + authJson.size());
    if (!auth.is_object()) return std::nullopt;
    const json* tokens = optionalObject(auth, "tokens");
    if (!tokens) return std::nullopt;
    const std::optional<std::string> idToken = optionalString(*tokens, "id_token");
    if (!idToken) return std::nullopt;
    token = *idToken;
  } catch (const json::exception&) {
    return std::nullopt;
  }

  const QByteArray raw = QByteArray::fromStdString(token);
  const QList<QByteArray> parts = raw.split('.');
  if (parts.size() != 3) return std::nullopt;

  QByteArray encoded = parts[1];
  encoded.replace('-', '+').replace('_', '/');
  while (encoded.size() % 4 != 0) encoded.append('=');
  const auto decoded = QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
  if (!decoded) return std::nullopt;

  const QByteArray& payload = decoded.decoded;
  const json claims = json::parse(payload.constData(), payload.constData() + payload.size(), nullptr, false);
  if (!claims.is_object()) return std::nullopt;  // also the discarded value of a parse error

  const json* plan = nullptr;
  if (const auto auth = claims.find(kAuthClaimKey);
      auth != claims.end() && auth->is_object() && auth->contains("chatgpt_plan_type")) {
    plan = &auth->at("chatgpt_plan_type");
  } else if (const auto top = claims.find("chatgpt_plan_type"); top != claims.end()) {
    plan = &*top;
  }
  if (!plan || !plan->is_string()) return std::nullopt;
  return plan->get<std::string>();
}

}  // namespace UsageParsing

bool CodexRecord::mayBeRecord(std::string_view line) {
  // Every record that can yield a value names both; most lines of a log name neither.
  return line.find("\"token_count\"") != std::string_view::npos &&
         line.find("\"rate_limits\"") != std::string_view::npos;
}

std::optional<CodexRecord> CodexRecord::decode(std::string_view line) {
  using namespace UsageParsing;
  // The token counts are large and never read: they are dropped while parsing instead of built.
  const json::parser_callback_t skipCounts = [](int depth, json::parse_event_t event, json& parsed) {
    return !(event == json::parse_event_t::key && depth == 2 && parsed == "info");
  };
  // Decode every member that is read before looking at the kinds, so that a malformed
  // record fails the same way whatever its type.
  const json event = json::parse(line.begin(), line.end(), skipCounts);
  requireObject(event);
  const std::string type = event.at("type").get<std::string>();
  const std::optional<std::string> timestamp = optionalString(event, "timestamp");
  const json& payload = requireObject(event.at("payload"));
  const std::string payloadType = payload.at("type").get<std::string>();
  const json* limits = optionalObject(payload, "rate_limits");

  std::optional<DecodedWindow> primary, secondary;
  CodexRecord record;
  if (limits) {
    if (const json* value = optionalMember(*limits, "primary")) primary = decodeWindow(*value);
    if (const json* value = optionalMember(*limits, "secondary")) secondary = decodeWindow(*value);
    record.planType = optionalString(*limits, "plan_type");
  }

  if (type != "event_msg" || payloadType != "token_count" || !limits) return std::nullopt;
  // Model-specific buckets are logged next to the main limit; they are not the account's figures.
  if (const auto it = limits->find("limit_id");
      it != limits->end() && it->is_string() && it->get_ref<const std::string&>() != kMainLimitID) {
    return std::nullopt;
  }
  record.primary = checkedWindow(primary);
  record.secondary = checkedWindow(secondary);
  if (!record.primary && !record.secondary) return std::nullopt;
  if (timestamp) record.recordedAt = ISO8601::parse(*timestamp);
  return record;
}

ServiceUsage CodexRecord::usage(const std::optional<std::string>& planName, TimePoint now) const {
  ServiceUsage usage;
  usage.service = ServiceID::codex;
  const auto addWindow = [&](const std::optional<Window>& window, const char* source, bool isPrimary) {
    if (!window) return;
    std::optional<TimePoint> resetsAt;
    if (window->resetsAt) resetsAt = fromEpochSeconds(*window->resetsAt);
    const bool hasReset = resetsAt && *resetsAt <= now;
    const std::string label = UsageParsing::windowLabel(window->windowMinutes, isPrimary);
    usage.windows.emplace_back(std::string("codex_") + source, hasReset ? label + " (리셋됨/갱신 대기)" : label,
                               window->usedPercent, resetsAt, window->windowMinutes);
    if (hasReset) {
      usage.metrics.push_back({std::string("codex_") + source + "_reset", label + " 사용량",
                               "리셋됨/갱신 대기 · Codex 실행 후 새로고침하세요"});
    }
  };
  addWindow(primary, "primary", true);
  addWindow(secondary, "secondary", false);
  usage.fetchedAt = fetchedAt();
  if (!recordedAt) usage.metrics.push_back({"codex_timestamp", "기록 시각", "확인할 수 없어요"});
  usage.planName = planName ? planName : planType;
  usage.status = ProviderStatus::ok();
  return usage;
}
