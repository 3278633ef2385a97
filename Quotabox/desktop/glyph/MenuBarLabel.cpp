#include "glyph/MenuBarLabel.h"

#include "appmodel/AppModel.h"

namespace MenuBarLabel {

StatusSlot slot(ServiceID service, const std::optional<ServiceUsage>& usage, Thresholds thresholds,
                double refreshInterval, TimePoint now) {
  using Kind = StatusSlot::Kind;
  if (!usage) return {service, Kind::loading()};
  switch (usage->status.kind) {
    case ProviderStatus::Kind::notSignedIn:
      return {service, Kind::signedOut()};
    case ProviderStatus::Kind::unavailable:
      return {service, Kind::error()};
    case ProviderStatus::Kind::ok:
      break;
  }
  if (usage->windows.empty()) return {service, Kind::error()};

  // A window whose reset time has come belongs to a past cycle; its share no longer counts
  // unless nothing newer is known.
  std::vector<const UsageWindow*> current;
  for (const UsageWindow& window : usage->windows) {
    if (!window.resetsAt || *window.resetsAt > now) current.push_back(&window);
  }
  const bool onlyPast = current.empty();
  if (onlyPast) {
    for (const UsageWindow& window : usage->windows) current.push_back(&window);
  }
  double percent = current.front()->usedPercent;
  for (const UsageWindow* window : current) percent = std::max(percent, window->usedPercent);

  const bool stale = onlyPast || !isFresh(usage->fetchedAt, now, refreshInterval);
  return {service, Kind::value(percent, levelOf(percent, thresholds), stale)};
}

std::vector<StatusSlot> slots(const AppModel& model, TimePoint now) {
  const AppSettings& settings = model.settings();
  std::vector<StatusSlot> result;
  for (const auto& [service, usage] : model.orderedUsages()) {
    result.push_back(slot(service, usage, settings.thresholds(), settings.refreshInterval(), now));
  }
  return result;
}

StatusGlyph glyph(const AppModel& model, TimePoint now) { return {slots(model, now), model.settings().menuBarStyle()}; }

}  // namespace MenuBarLabel
