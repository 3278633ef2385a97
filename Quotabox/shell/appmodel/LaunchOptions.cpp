#include "appmodel/LaunchOptions.h"

#include <QSet>
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

// Control characters of an argument shown on a terminal become "?", so an argument cannot move the
// cursor or recolour the screen.
std::string printable(const QString& argument) {
  QString shown;
  for (const QChar c : argument) shown += c.category() == QChar::Other_Control ? QChar(u'?') : c;
  return shown.toStdString();
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
  // Every option asked about counts as known, and so does the value an option took; whatever is
  // left over is reported as ignored.
  QSet<QString> known;
  QSet<qsizetype> values;
  std::vector<std::string> withoutValue;
  const auto present = [&](const char* option) {
    known.insert(QString::fromLatin1(option));
    return arguments.indexOf(QString::fromLatin1(option), 1) >= 0;
  };
  // The argument after the first occurrence of `option`; absent when the option is missing or last.
  const auto valueOf = [&](const char* option) -> std::optional<std::string> {
    known.insert(QString::fromLatin1(option));
    const auto index = arguments.indexOf(QString::fromLatin1(option), 1);
    if (index < 0) return std::nullopt;
    if (index + 1 >= arguments.size()) {
      withoutValue.emplace_back(option);
      return std::nullopt;
    }
    values.insert(index + 1);
    return arguments[index + 1].toStdString();
  };

  LaunchOptions options;
  for (const auto& [option, source] : kSourceOptions) {
    if (present(option)) options.source = source;
  }
  if (const auto appearance = valueOf("--appearance")) {
    options.appearance = *appearance == "dark" ? "dark" : "light";
  }
  options.openPopover = present("--open");
  options.snapshotDir = valueOf("--snapshot");
  options.verificationDir = valueOf("--verify-system");
  if (options.snapshotDir && options.source.kind == Kind::live) options.source = Source::mock(Scenario::normal);

  options.printReport = present("--print");
  options.jsonReport = present("--json");
  options.waybar = present("--waybar");
  options.refresh = present("--refresh");
  options.help = present("--help") || present("-h");
  options.version = present("--version") || present("-V");

  for (qsizetype i = 1; i < arguments.size(); ++i) {
    if (!values.contains(i) && !known.contains(arguments[i]) && !arguments[i].isEmpty()) {
      options.ignored.push_back({printable(arguments[i]), false});
    }
  }
  for (auto& option : withoutValue) options.ignored.push_back({std::move(option), true});
  return options;
}

std::vector<std::string> LaunchOptions::ignoredNotices() const {
  std::vector<std::string> lines;
  for (const auto& argument : ignored) {
    if (argument.missingValue) {
      lines.push_back(argument.text + " 뒤에 값이 없어 이 옵션을 무시해요\n");
    } else if (argument.text.starts_with('-')) {
      lines.push_back("알 수 없는 옵션이라 무시해요: " + argument.text + "\n");
    } else {
      lines.push_back("옵션이 아닌 인수라 무시해요: " + argument.text + "\n");
    }
  }
  return lines;
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
