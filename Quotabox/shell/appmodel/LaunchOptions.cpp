#include "appmodel/LaunchOptions.h"

#include <array>
#include <utility>

#include "scenarios/RetainedMockProvider.h"
#include "scenarios/ShowcaseTrends.h"
#include "scenarios/StaleMockProvider.h"
#include "scenarios/TrendShowcaseProvider.h"
#include "store/UsageStore.h"

namespace {

using Kind = LaunchOptions::Source::Kind;
using Scenario = MockUsageProvider::Scenario;

// Tested in this order; each one present replaces the source chosen so far.
const std::array<std::pair<const char*, LaunchOptions::Source>, 8> kSourceOptions{{
    {"--mock", LaunchOptions::Source::mock(Scenario::normal)},
    {"--mock-high", LaunchOptions::Source::mock(Scenario::high)},
    {"--mock-error", LaunchOptions::Source::mock(Scenario::error)},
    {"--mock-signedout", LaunchOptions::Source::mock(Scenario::notSignedIn)},
    {"--mock-stale", LaunchOptions::Source::of(Kind::stale)},
    {"--mock-mixed", LaunchOptions::Source::of(Kind::mixed)},
    {"--mock-retained", LaunchOptions::Source::of(Kind::retained)},
    {"--mock-trends", LaunchOptions::Source::of(Kind::trends)},
}};

// The argument after the first occurrence of `option`; absent when the option is missing or last.
std::optional<std::string> valueOf(const QStringList& arguments, const QString& option) {
  const auto index = arguments.indexOf(option, 1);
  if (index < 0 || index + 1 >= arguments.size()) return std::nullopt;
  return arguments[index + 1].toStdString();
}

template <typename Provider>
std::vector<std::shared_ptr<UsageProvider>> onePerService() {
  std::vector<std::shared_ptr<UsageProvider>> providers;
  for (const auto service : ServiceIDs::allCases) providers.push_back(std::make_shared<Provider>(service));
  return providers;
}

}  // namespace

std::optional<std::string> LaunchOptions::Source::scenarioName() const {
  switch (kind) {
    case Kind::live:
      return std::nullopt;
    case Kind::mock:
      switch (scenario) {
        case Scenario::normal:
          return "normal";
        case Scenario::high:
          return "high";
        case Scenario::error:
          return "error";
        case Scenario::notSignedIn:
          return "signedout";
      }
      return "normal";
    case Kind::stale:
      return "stale";
    case Kind::mixed:
      return "mixed";
    case Kind::retained:
      return "retained";
    case Kind::trends:
      return "trends";
  }
  return std::nullopt;
}

LaunchOptions LaunchOptions::parse(const QStringList& arguments) {
  const auto present = [&](const char* option) { return arguments.indexOf(QString::fromLatin1(option), 1) >= 0; };

  LaunchOptions options;
  for (const auto& [option, source] : kSourceOptions) {
    if (present(option)) options.source = source;
  }
  if (const auto appearance = valueOf(arguments, QStringLiteral("--appearance"))) {
    options.appearance = *appearance == "dark" ? "dark" : "light";
  }
  options.openPopover = present("--open");
  options.snapshotDir = valueOf(arguments, QStringLiteral("--snapshot"));
  options.verificationDir = valueOf(arguments, QStringLiteral("--verify-system"));
  if (options.snapshotDir && options.source.kind == Kind::live) options.source = Source::mock(Scenario::normal);

  options.printReport = present("--print");
  options.jsonReport = present("--json");
  options.waybar = present("--waybar");
  options.refresh = present("--refresh");
  options.help = present("--help");
  options.version = present("--version");
  return options;
}

std::unique_ptr<UsageStore> LaunchOptions::makeStore() const {
  switch (source.kind) {
    case Kind::mock:
      return UsageStore::mock(source.scenario);
    case Kind::stale:
      return std::make_unique<UsageStore>(onePerService<StaleMockProvider>());
    case Kind::mixed:
      return std::make_unique<UsageStore>(std::vector<std::shared_ptr<UsageProvider>>{
          std::make_shared<MockUsageProvider>(ServiceID::claude, Scenario::normal),
          std::make_shared<MockUsageProvider>(ServiceID::codex, Scenario::notSignedIn)});
    case Kind::retained:
      return std::make_unique<UsageStore>(onePerService<RetainedMockProvider>());
    case Kind::trends:
      return std::make_unique<UsageStore>(onePerService<TrendShowcaseProvider>(), nullptr, systemNow,
                                          std::make_shared<ShowcaseTrends>());
    case Kind::live:
      // One-shot reports read the history but never change it.
      return UsageStore::live(
          printReport || jsonReport ? HistoryStore::Access::readOnly : HistoryStore::Access::readWrite, claudeRequest);
  }
  return nullptr;
}
