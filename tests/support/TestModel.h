#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "EventLoop.h"
#include "FakeNotificationCenter.h"
#include "UsageStoreFakes.h"
#include "appmodel/AppModel.h"
#include "login/ClosureLoginItem.h"

// The parts of an app model under test: Claude's five-hour window at a chosen share, Codex
// signed out, a hand-moved clock, a settings suite of its own, a fake notification centre and a
// login item that does nothing. Change a part, then build(); each build is a fresh model over the
// same settings and clock.
struct TestModel {
  std::shared_ptr<SettingsDomain> defaults = SettingsDomain::suite(QStringLiteral("com.orrisfen.Quotabox.tests"));
  ManualClock clock;
  std::shared_ptr<FakeNotificationCenter> center = std::make_shared<FakeNotificationCenter>();
  bool withCenter = true;
  std::shared_ptr<LoginItemControlling> loginItem =
      std::make_shared<ClosureLoginItem>([] { return false; }, [](bool) {});
  std::shared_ptr<Gate> gate;                        // Claude's fetches wait on it when set
  std::optional<std::filesystem::path> historyFile;  // memory only without one
  std::shared_ptr<FakeProvider> claude;              // of the last build

  std::unique_ptr<AppModel> build(double claudePercent = 40) {
    const ServiceUsage usage =
        okUsage(ServiceID::claude, {fiveHourWindow(claudePercent, clock.now() + Seconds(3600))}, *clock.seconds);
    claude = std::make_shared<FakeProvider>(ServiceID::claude, [usage, g = gate](std::stop_token stop) {
      if (g) g->wait(stop);
      return usage;
    });
    auto codex = std::make_shared<FakeProvider>(
        ServiceID::codex,
        std::vector<ServiceUsage>{failedUsage(ServiceID::codex, ProviderStatus::notSignedIn(), *clock.seconds)});
    AppModel::Parts parts;
    parts.store = std::make_unique<UsageStore>(std::vector<std::shared_ptr<UsageProvider>>{claude, codex},
                                               std::make_shared<HistoryStore>(historyFile), clock.clock());
    parts.notifier = std::make_unique<ThresholdNotifier>(defaults, QStringLiteral("mock"),
                                                         withCenter ? center : nullptr, [](const QByteArray&) {});
    parts.loginItem = loginItem;
    parts.clock = clock.clock();
    return std::make_unique<AppModel>(LaunchOptions{}, defaults, std::move(parts));
  }
};
