#pragma once

#include <optional>
#include <utility>
#include <vector>

#include "model/ServiceUsage.h"
#include "model/TimePoint.h"
#include "settings/UsageLevel.h"
#include "glyph/StatusGlyph.h"

class AppModel;

// What the tray label shows, computed afresh from the model at a given instant.
namespace MenuBarLabel {

// One slot per service of the model, Claude first, judged against the model's thresholds and
// freshness limit at `now`.
std::vector<StatusSlot> slots(const AppModel& model, TimePoint now);
// The slots in the style the settings choose.
StatusGlyph glyph(const AppModel& model, TimePoint now);

// The slot of one service: loading without a snapshot, signed out, failed (also for a success
// without windows), or the largest share among the windows of the current reset cycle.
StatusSlot slot(ServiceID service, const std::optional<ServiceUsage>& usage, Thresholds thresholds,
                double refreshInterval, TimePoint now);

}  // namespace MenuBarLabel
