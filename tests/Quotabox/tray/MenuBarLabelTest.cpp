#include <gtest/gtest.h>

#include "TrayTestModel.h"
#include "tray/MenuBarLabel.h"

namespace {

using Kind = StatusSlot::Kind;

constexpr double kNow = 1760000000;
const Thresholds kDefault{70, 90};

UsageWindow window(const char* id, double percent, std::optional<double> resetsIn) {
  std::optional<TimePoint> resetsAt;
  if (resetsIn) resetsAt = fromEpochSeconds(kNow + *resetsIn);
  return UsageWindow(id, id, percent, resetsAt);
}

// Claude's usage fetched `ago` seconds before now; a failed status with windows means they were retained.
ServiceUsage fetched(std::vector<UsageWindow> windows, double ago, ProviderStatus status = ProviderStatus::ok()) {
  ServiceUsage usage = okUsage(ServiceID::claude, std::move(windows), kNow - ago);
  usage.status = std::move(status);
  return usage;
}

}  // namespace

TEST(MenuBarLabelSlot, OneSlotPerSnapshot) {
  struct Case {
    const char* name;
    std::optional<ServiceUsage> usage;
    Kind expected;
    Thresholds thresholds = kDefault;
    double interval = 120;
  };
  const Case cases[] = {
      {"no snapshot yet", std::nullopt, Kind::loading()},
      {"not signed in", failedUsage(ServiceID::claude, ProviderStatus::notSignedIn(), kNow), Kind::signedOut()},
      {"failed", failedUsage(ServiceID::claude, ProviderStatus::unavailable("x"), kNow), Kind::error()},
      {"success without windows", fetched({}, 0), Kind::error()},
      {"retained windows still show the failure", fetched({window("a", 50, 3600)}, 0, ProviderStatus::unavailable("x")),
       Kind::error()},
      {"largest current window",
       fetched({window("a", 30, 3600), window("b", 85, 60), window("c", 40, std::nullopt)}, 0),
       Kind::value(85, UsageLevel::warning, false)},
      {"the given thresholds decide the level", fetched({window("a", 75, 3600)}, 0),
       Kind::value(75, UsageLevel::normal, false), Thresholds{80, 90}},
      {"a window reset at this instant belongs to the past cycle",
       fetched({window("a", 95, 0), window("b", 20, 600)}, 0), Kind::value(20, UsageLevel::normal, false)},
      {"only past windows: the highest old share, stale", fetched({window("a", 95, -10), window("b", 20, -600)}, 0),
       Kind::value(95, UsageLevel::critical, true)},
      {"stale just past the limit", fetched({window("a", 10, 3600)}, 901), Kind::value(10, UsageLevel::normal, true)},
      {"a long interval widens the limit", fetched({window("a", 10, 3600)}, 1800),
       Kind::value(10, UsageLevel::normal, false), kDefault, 600},
  };
  for (const Case& c : cases) {
    const StatusSlot slot =
        MenuBarLabel::slot(ServiceID::codex, c.usage, c.thresholds, c.interval, fromEpochSeconds(kNow));
    EXPECT_EQ(slot.kind, c.expected) << c.name;
    EXPECT_EQ(slot.service, ServiceID::codex) << c.name;
  }
}

class MenuBarLabelModel : public SandboxedTest {};

TEST_F(MenuBarLabelModel, FollowsTheModelsSnapshotsAndSettings) {
  TrayTestModel data(75);
  AppModel& model = *data.model;
  const ManualClock& clock = data.clock;
  EXPECT_EQ(MenuBarLabel::slots(model, clock.now()),
            std::vector<StatusSlot>({{ServiceID::claude, Kind::loading()}, {ServiceID::codex, Kind::loading()}}));

  data.refreshOnce();
  model.settings().setMenuBarStyle(MenuBarStyle::percent);
  const StatusGlyph glyph = MenuBarLabel::glyph(model, clock.now());
  EXPECT_EQ(glyph, StatusGlyph({{ServiceID::claude, Kind::value(75, UsageLevel::warning, false)},
                                {ServiceID::codex, Kind::signedOut()}},
                               MenuBarStyle::percent));

  // The settings' thresholds and interval decide level and freshness.
  model.settings().setWarningThreshold(80);
  model.settings().setRefreshInterval(900);
  EXPECT_EQ(MenuBarLabel::slots(model, clock.now() + Seconds(2700)).front().kind,
            Kind::value(75, UsageLevel::normal, false));
  EXPECT_TRUE(MenuBarLabel::slots(model, clock.now() + Seconds(2701)).front().kind.stale);
}
