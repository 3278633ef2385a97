#include <gtest/gtest.h>

#include <typeinfo>

#include "app/LaunchOptions.h"
#include "scenarios/RetainedMockProvider.h"
#include "scenarios/StaleMockProvider.h"
#include "scenarios/TrendShowcaseProvider.h"
#include "store/UsageStore.h"

namespace {

using Kind = LaunchOptions::Source::Kind;
using Scenario = MockUsageProvider::Scenario;
using Source = LaunchOptions::Source;

LaunchOptions parse(QStringList arguments) {
  arguments.prepend(QStringLiteral("/usr/bin/quotabox"));
  return LaunchOptions::parse(arguments);
}

}  // namespace

TEST(LaunchOptionsParse, SourceOptionsAndTheirPrecedence) {
  const std::vector<std::pair<QStringList, Source>> cases{
      {{}, Source::of(Kind::live)},
      {{"--mock"}, Source::mock(Scenario::normal)},
      {{"--mock-high"}, Source::mock(Scenario::high)},
      {{"--mock-error"}, Source::mock(Scenario::error)},
      {{"--mock-signedout"}, Source::mock(Scenario::notSignedIn)},
      {{"--mock-stale"}, Source::of(Kind::stale)},
      {{"--mock-mixed"}, Source::of(Kind::mixed)},
      {{"--mock-retained"}, Source::of(Kind::retained)},
      {{"--mock-trends"}, Source::of(Kind::trends)},
      // Exact, case-sensitive whole arguments only.
      {{"--Mock", "--mock=high", "mock", "--mock-high "}, Source::of(Kind::live)},
      // The option tested later wins, wherever it stands.
      {{"--mock-high", "--mock"}, Source::mock(Scenario::high)},
      {{"--mock", "--mock-high"}, Source::mock(Scenario::high)},
      {{"--mock-signedout", "--mock-error"}, Source::mock(Scenario::notSignedIn)},
      {{"--mock-stale", "--mock-mixed", "--mock"}, Source::of(Kind::mixed)},
      // A snapshot turns only the live source into the normal mock; verification keeps it live.
      {{"--snapshot", "/tmp/s"}, Source::mock(Scenario::normal)},
      {{"--snapshot", "/tmp/s", "--mock-stale"}, Source::of(Kind::stale)},
      {{"--mock-high", "--snapshot", "/tmp/s"}, Source::mock(Scenario::high)},
      {{"--snapshot"}, Source::of(Kind::live)},
      {{"--verify-system", "/tmp/v"}, Source::of(Kind::live)},
  };
  for (const auto& [arguments, source] : cases) {
    SCOPED_TRACE(arguments.join(' ').toStdString());
    EXPECT_EQ(parse(arguments).source, source);
  }
  // The first argument is the program path, never an option.
  EXPECT_EQ(LaunchOptions::parse({QStringLiteral("--mock-high")}).source, Source::of(Kind::live));
  EXPECT_NE(Source::mock(Scenario::high), Source::mock(Scenario::normal));
}

TEST(LaunchOptionsParse, ValuesAndFlags) {
  const auto options = parse({"--snapshot", "/tmp/a", "--snapshot", "/tmp/b", "--verify-system", "--open", "--json"});
  EXPECT_EQ(options.snapshotDir, "/tmp/a");  // the first occurrence
  // A value may look like an option; that option still counts by its presence.
  EXPECT_EQ(options.verificationDir, "--open");
  EXPECT_TRUE(options.openPopover && options.jsonReport);
  EXPECT_FALSE(options.printReport || options.help || options.version || options.appearance);
  EXPECT_TRUE(parse({"--print"}).printReport && parse({"--help"}).help && parse({"--version"}).version);
  // An option given last has no value.
  EXPECT_FALSE(parse({"--mock-stale", "--snapshot"}).snapshotDir);
  EXPECT_FALSE(parse({"--verify-system"}).verificationDir);
  EXPECT_FALSE(parse({"--appearance"}).appearance);
  // Dark only for exactly "dark".
  EXPECT_EQ(parse({"--appearance", "dark"}).appearance, "dark");
  EXPECT_EQ(parse({"--appearance", "Dark"}).appearance, "light");
  EXPECT_EQ(parse({"--appearance", "--appearance", "dark"}).appearance, "light");
}

TEST(LaunchOptionsStore, EachSourceBuildsItsProvidersInServiceOrder) {
  struct Case {
    Source source;
    const std::type_info* type;
    std::optional<Scenario> store, claude, codex;
  };
  const auto* mock = &typeid(MockUsageProvider);
  const std::vector<Case> catalogue{
      {Source::mock(Scenario::high), mock, Scenario::high, Scenario::high, Scenario::high},
      {Source::of(Kind::mixed), mock, std::nullopt, Scenario::normal, Scenario::notSignedIn},
      {Source::of(Kind::stale), &typeid(StaleMockProvider), {}, {}, {}},
      {Source::of(Kind::retained), &typeid(RetainedMockProvider), {}, {}, {}},
      {Source::of(Kind::trends), &typeid(TrendShowcaseProvider), {}, {}, {}},
  };
  for (const auto& c : catalogue) {
    SCOPED_TRACE(static_cast<int>(c.source.kind));
    LaunchOptions options;
    options.source = c.source;
    const auto store = options.makeStore();
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->mockScenario(), c.store);
    ASSERT_EQ(store->providers().size(), 2u);
    const std::optional<Scenario> scenarios[] = {c.claude, c.codex};
    for (std::size_t i = 0; i < 2; ++i) {
      const UsageProvider& provider = *store->providers()[i];
      EXPECT_EQ(provider.service(), ServiceIDs::allCases[i]);
      EXPECT_EQ(typeid(provider), *c.type);
      const auto* m = dynamic_cast<const MockUsageProvider*>(&provider);
      EXPECT_EQ(m ? std::optional(m->scenario()) : std::nullopt, scenarios[i]);
    }
  }
}
