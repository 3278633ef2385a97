#pragma once

#include <memory>
#include <nlohmann/json.hpp>

class SettingsDomain;

// The model-level checks of the popover's behaviour, run on a scratch model (normal scenario,
// not started) built on `defaults`: trend rows, history switches, history deletion, reopening,
// the full-window forecast and the refresh setting. One boolean member per check.
namespace UiChecks {
nlohmann::json run(const std::shared_ptr<SettingsDomain>& defaults);
}  // namespace UiChecks
