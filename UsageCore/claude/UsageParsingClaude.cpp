#include <QByteArray>
#include <algorithm>
#include <array>
#include <cmath>
#include <nlohmann/json.hpp>
#include <set>
#include <string_view>

#include "model/BoundedJSON.h"
#include "model/ISO8601.h"
#include "model/UsageParseError.h"
#include "model/UsageParsing.h"

namespace {

using json = nlohmann::json;

constexpr int kWeekMinutes = 10080;

struct KnownWindow {
  std::string_view key;
  std::string_view label;
  int minutes;
};

constexpr std::array<KnownWindow, 6> kKnownWindows{{
    {"five_hour", "5시간", 300},
    {"seven_day", "주간", kWeekMinutes},
    {"seven_day_opus", "주간 (Opus)", kWeekMinutes},
    {"seven_day_sonnet", "주간 (Sonnet)", kWeekMinutes},
    {"seven_day_oauth_apps", "주간 (연동 앱)", kWeekMinutes},
    {"seven_day_cowork", "주간 (Cowork)", kWeekMinutes},
}};

bool isWindowKey(std::string_view key) { return key == "five_hour" || key.starts_with("seven_day"); }

std::size_t rank(std::string_view key) {
  for (std::size_t i = 0; i < kKnownWindows.size(); ++i) {
    if (kKnownWindows[i].key == key) return i;
  }
  return kKnownWindows.size();
}

// Reset instants: a string in internet date-time form, or null/absent for none.
std::optional<TimePoint> resetTime(const json& window) {
  const auto found = window.find("resets_at");
  if (found == window.end() || found->is_null()) return std::nullopt;
  const auto parsed = ISO8601::parse(found->get_ref<const std::string&>());
  if (!parsed) throw UsageParseError::invalidResponse();
  return parsed;
}

UsageWindow keyedWindow(const std::string& key, const json& value) {
  const json& utilization = value.at("utilization");
  // get<double>() would also take a boolean; the member must be a JSON number.
  if (!utilization.is_number()) {
    throw json::type_error::create(302, "utilization must be a number, but is " + std::string(utilization.type_name()),
                                   &utilization);
  }
  if (const auto resets = value.find("resets_at");
      resets != value.end() && !resets->is_null() && !resets->is_string()) {
    throw json::type_error::create(302, "resets_at must be a string, but is " + std::string(resets->type_name()),
                                   &*resets);
  }
  const double used = utilization.get<double>();
  if (!std::isfinite(used)) throw UsageParseError::invalidResponse();

  const std::size_t known = rank(key);
  const std::string label = known < kKnownWindows.size() ? std::string(kKnownWindows[known].label) : "주간 (추가 한도)";
  const int minutes = known < kKnownWindows.size() ? kKnownWindows[known].minutes : kWeekMinutes;
  return UsageWindow(key, label, used, resetTime(value), minutes);
}

// Per-model weekly limits are reported only in "limits" now, as "weekly_scoped" entries, while the
// per-model keyed members stay null. Entries that do not have the expected shape are skipped.
std::optional<UsageWindow> scopedWindow(const json& entry) {
  if (!entry.is_object()) return std::nullopt;
  // Members are looked at in place; copying one would copy everything below it.
  const auto kind = entry.find("kind");
  if (kind == entry.end() || !kind->is_string() || kind->get_ref<const std::string&>() != "weekly_scoped") {
    return std::nullopt;
  }
  const auto percent = entry.find("percent");
  if (percent == entry.end() || !percent->is_number() || !std::isfinite(percent->get<double>())) return std::nullopt;
  const json* name = &entry;
  for (const char* member : {"scope", "model", "display_name"}) {
    if (!name->is_object()) return std::nullopt;
    const auto next = name->find(member);
    if (next == name->end()) return std::nullopt;
    name = &*next;
  }
  if (!name->is_string() || name->get_ref<const std::string&>().empty()) return std::nullopt;

  std::optional<TimePoint> resetsAt;
  if (const auto resets = entry.find("resets_at"); resets != entry.end() && !resets->is_null()) {
    if (!resets->is_string()) return std::nullopt;
    resetsAt = ISO8601::parse(resets->get_ref<const std::string&>());
    if (!resetsAt) return std::nullopt;
  }
  const std::string& displayName = name->get_ref<const std::string&>();
  return UsageWindow("seven_day_scoped." + displayName, "주간 (" + displayName + ")", percent->get<double>(), resetsAt,
                     kWeekMinutes);
}

void appendScopedWindows(const json& body, std::vector<UsageWindow>& windows) {
  const auto limits = body.find("limits");
  if (limits == body.end() || !limits->is_array()) return;
  for (const json& entry : *limits) {
    auto window = scopedWindow(entry);
    if (!window) continue;
    // A model already shown through its keyed member, or listed twice, is shown once.
    const bool shown = std::any_of(windows.begin(), windows.end(), [&](const UsageWindow& existing) {
      return existing.label == window->label || existing.id == window->id;
    });
    if (!shown) windows.push_back(std::move(*window));
  }
}

}  // namespace

namespace UsageParsing {

ServiceUsage claude(const QByteArray& body, const std::optional<std::string>& planName, TimePoint now) {
  const json document = BoundedJSON::parse(body);
  if (!document.is_object()) throw UsageParseError::invalidResponse();

  std::vector<std::string> keys;
  for (const auto& [key, value] : document.items()) {
    if (isWindowKey(key)) keys.push_back(key);
  }
  std::stable_sort(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) {
    const auto rankA = rank(a);
    const auto rankB = rank(b);
    return rankA != rankB ? rankA < rankB : a < b;
  });

  std::vector<UsageWindow> windows;
  for (const std::string& key : keys) {
    const json& value = document.at(key);
    if (!value.is_object() || value.empty() || !value.contains("utilization")) continue;
    windows.push_back(keyedWindow(key, value));
  }
  appendScopedWindows(document, windows);
  if (windows.empty()) throw UsageParseError::invalidResponse();

  ServiceUsage usage;
  usage.service = ServiceID::claude;
  usage.planName = planName;
  usage.windows = std::move(windows);
  usage.fetchedAt = now;
  usage.status = ProviderStatus::ok();
  return usage;
}

}  // namespace UsageParsing
