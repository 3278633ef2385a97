#pragma once

#include <array>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

enum class ServiceID { claude, codex };

namespace ServiceIDs {
// Display order of every per-service list.
inline constexpr std::array<ServiceID, 2> allCases{ServiceID::claude, ServiceID::codex};

// Raw value: "claude" or "codex".
std::string id(ServiceID service);
std::string displayName(ServiceID service);
// Exact, case-sensitive match of the raw value.
std::optional<ServiceID> fromRaw(std::string_view raw);
}  // namespace ServiceIDs

void to_json(nlohmann::json& json, ServiceID service);
void from_json(const nlohmann::json& json, ServiceID& service);
