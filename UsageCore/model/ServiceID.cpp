#include "model/ServiceID.h"

#include <nlohmann/json.hpp>

namespace ServiceIDs {

std::string id(ServiceID service) {
  switch (service) {
    case ServiceID::claude:
      return "claude";
    case ServiceID::codex:
      return "codex";
  }
  return {};
}

std::string displayName(ServiceID service) {
  switch (service) {
    case ServiceID::claude:
      return "Claude";
    case ServiceID::codex:
      return "ChatGPT (Codex)";
  }
  return {};
}

std::optional<ServiceID> fromRaw(std::string_view raw) {
  for (ServiceID service : allCases) {
    if (raw == id(service)) return service;
  }
  return std::nullopt;
}

}  // namespace ServiceIDs

void to_json(nlohmann::json& json, ServiceID service) { json = ServiceIDs::id(service); }

void from_json(const nlohmann::json& json, ServiceID& service) {
  const auto parsed = ServiceIDs::fromRaw(json.get<std::string>());
  if (!parsed) {
    throw nlohmann::json::other_error::create(501, "unknown service id", &json);
  }
  service = *parsed;
}
