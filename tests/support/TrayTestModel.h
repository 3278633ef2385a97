#pragma once

#include <QLabel>
#include <memory>

#include "EventLoop.h"
#include "TestSandbox.h"
#include "UsageStoreFakes.h"
#include "appmodel/AppModel.h"
#include "login/ClosureLoginItem.h"
#include "tray/PopoverWindow.h"
#include "tray/TrayItem.h"

// A tray item that records what it was asked to show.
class FakeTrayItem : public TrayItem {
 public:
  void show(const TrayFace& face) override { shown.push_back(face); }
  std::optional<QPoint> anchorPoint() const override { return point; }

  std::vector<TrayFace> shown;
  std::optional<QPoint> point;
};

// A model over two scripted providers (Claude's five-hour window at `claudePercent`, Codex signed
// out) whose fetches wait on `gate` when one is given, and pages that are labels named after them.
struct TrayTestModel {
  std::shared_ptr<SettingsDomain> defaults = SettingsDomain::suite(QStringLiteral("com.orrisfen.Quotabox.traytests"));
  ManualClock clock;
  std::shared_ptr<Gate> gate;
  std::shared_ptr<FakeProvider> claude;
  std::unique_ptr<AppModel> model;

  explicit TrayTestModel(double claudePercent = 40, std::shared_ptr<Gate> fetchGate = nullptr)
      : gate(std::move(fetchGate)) {
    const ServiceUsage usage =
        okUsage(ServiceID::claude, {UsageWindow("five_hour", "5시간", claudePercent, clock.now() + Seconds(3600), 300)},
                *clock.seconds);
    claude = std::make_shared<FakeProvider>(ServiceID::claude, [usage, g = gate](std::stop_token stop) {
      if (g) g->wait(stop);
      return usage;
    });
    auto codex = std::make_shared<FakeProvider>(
        ServiceID::codex,
        std::vector<ServiceUsage>{failedUsage(ServiceID::codex, ProviderStatus::notSignedIn(), *clock.seconds)});
    AppModel::Parts parts;
    parts.store = std::make_unique<UsageStore>(std::vector<std::shared_ptr<UsageProvider>>{claude, codex},
                                               std::make_shared<HistoryStore>(std::nullopt), clock.clock());
    parts.notifier =
        std::make_unique<ThresholdNotifier>(defaults, QStringLiteral("mock"), nullptr, [](const QByteArray&) {});
    parts.loginItem = std::make_shared<ClosureLoginItem>([] { return false; }, [](bool) {});
    parts.clock = clock.clock();
    model = std::make_unique<AppModel>(LaunchOptions{}, defaults, std::move(parts));
  }

  void refreshOnce() {
    if (gate) gate->open();
    awaitFuture(model->store().refresh());
  }

  static PopoverWindow::Pages labelPages() {
    const auto page = [](const char* name) {
      return [name](AppModel&, QWidget* parent) -> QWidget* {
        auto* label = new QLabel(QString::fromLatin1(name), parent);
        label->setObjectName(QString::fromLatin1(name));
        label->setMinimumHeight(200);
        return label;
      };
    };
    return {page("usagePage"), page("settingsPage")};
  }
};
