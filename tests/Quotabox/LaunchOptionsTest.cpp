#include <gtest/gtest.h>

#include <typeinfo>

#include "LaunchOptions.h"
#include "RetainedMockProvider.h"
#include "StaleMockProvider.h"
#include "TestSandbox.h"
#include "TrendShowcaseProvider.h"
#include "UsageStore.h"

namespace {

using Kind = LaunchOptions::Source::Kind;
using Scenario = MockUsageProvider::Scenario;
using Source = LaunchOptions::Source;

LaunchOptions parse(QStringList arguments) {
  arguments.prepend(QStringLiteral("/usr/bin/quotabox"));
  return LaunchOptions::parse(arguments);
}

}  // namespace

TEST(LaunchOptionsParse, NoArgumentsMeansLiveAndNothingElse) {
  const auto options = parse({});
  EXPECT_EQ(options.source, Source::of(Kind::live));
  EXPECT_FALSE(options.appearance);
  EXPECT_FALSE(options.openPopover);
  EXPECT_FALSE(options.snapshotDir);
  EXPECT_FALSE(options.verificationDir);
  EXPECT_FALSE(options.printReport || options.jsonReport || options.help || options.version);
  // Only the program path, which is never read as an option.
  EXPECT_EQ(LaunchOptions::parse({QStringLiteral("--mock-high")}).source, Source::of(Kind::live));
}

TEST(LaunchOptionsParse, EachSourceOption) {
  EXPECT_EQ(parse({"--mock"}).source, Source::mock(Scenario::normal));
  EXPECT_EQ(parse({"--mock-high"}).source, Source::mock(Scenario::high));
  EXPECT_EQ(parse({"--mock-error"}).source, Source::mock(Scenario::error));
  EXPECT_EQ(parse({"--mock-signedout"}).source, Source::mock(Scenario::notSignedIn));
  EXPECT_EQ(parse({"--mock-stale"}).source, Source::of(Kind::stale));
  EXPECT_EQ(parse({"--mock-mixed"}).source, Source::of(Kind::mixed));
  EXPECT_EQ(parse({"--mock-retained"}).source, Source::of(Kind::retained));
  EXPECT_EQ(parse({"--mock-trends"}).source, Source::of(Kind::trends));
  // Exact, case-sensitive whole arguments only.
  EXPECT_EQ(parse({"--Mock", "--mock=high", "mock", "--mock-high "}).source, Source::of(Kind::live));
  EXPECT_NE(Source::mock(Scenario::high), Source::mock(Scenario::normal));
}

TEST(LaunchOptionsParse, LaterTestedSourceOptionWinsWhateverItsPosition) {
  EXPECT_EQ(parse({"--mock-high", "--mock"}).source, Source::mock(Scenario::high));
  EXPECT_EQ(parse({"--mock", "--mock-high"}).source, Source::mock(Scenario::high));
  EXPECT_EQ(parse({"--mock-retained", "--mock-trends"}).source, Source::of(Kind::trends));
  EXPECT_EQ(parse({"--mock-trends", "--mock-retained"}).source, Source::of(Kind::trends));
  EXPECT_EQ(parse({"--mock-signedout", "--mock-error"}).source, Source::mock(Scenario::notSignedIn));
  EXPECT_EQ(parse({"--mock-stale", "--mock-mixed", "--mock"}).source, Source::of(Kind::mixed));
}

TEST(LaunchOptionsParse, OptionValuesTakeTheNextArgumentOfTheFirstOccurrence) {
  const auto options = parse({"--snapshot", "/tmp/a", "--snapshot", "/tmp/b", "--verify-system", "--open"});
  EXPECT_EQ(options.snapshotDir, "/tmp/a");
  // The value may look like an option; that option still counts by its presence.
  EXPECT_EQ(options.verificationDir, "--open");
  EXPECT_TRUE(options.openPopover);

  const auto last = parse({"--mock-stale", "--snapshot"});
  EXPECT_FALSE(last.snapshotDir);
  EXPECT_EQ(last.source, Source::of(Kind::stale));
  EXPECT_FALSE(parse({"--verify-system"}).verificationDir);
  EXPECT_FALSE(parse({"--appearance"}).appearance);
  // The first occurrence takes the second one as its value.
  EXPECT_EQ(parse({"--appearance", "--appearance", "dark"}).appearance, "light");
}

TEST(LaunchOptionsParse, SnapshotTurnsOnlyTheLiveSourceIntoMock) {
  EXPECT_EQ(parse({"--snapshot", "/tmp/shots"}).source, Source::mock(Scenario::normal));
  EXPECT_EQ(parse({"--snapshot", "/tmp/shots", "--mock-stale"}).source, Source::of(Kind::stale));
  EXPECT_EQ(parse({"--mock-high", "--snapshot", "/tmp/shots"}).source, Source::mock(Scenario::high));
  EXPECT_EQ(parse({"--snapshot"}).source, Source::of(Kind::live));
  // Verification alone keeps the live source.
  EXPECT_EQ(parse({"--verify-system", "/tmp/v"}).source, Source::of(Kind::live));

  const auto both = parse({"--verify-system", "/tmp/v", "--snapshot", "/tmp/s", "--open"});
  EXPECT_EQ(both.verificationDir, "/tmp/v");
  EXPECT_EQ(both.snapshotDir, "/tmp/s");
  EXPECT_TRUE(both.openPopover);
}

TEST(LaunchOptionsParse, AppearanceIsDarkOnlyForExactlyDark) {
  EXPECT_EQ(parse({"--appearance", "dark"}).appearance, "dark");
  EXPECT_EQ(parse({"--appearance", "Dark"}).appearance, "light");
  EXPECT_EQ(parse({"--appearance", "light"}).appearance, "light");
  EXPECT_EQ(parse({"--appearance", "sepia"}).appearance, "light");
}

TEST(LaunchOptionsParse, TerminalModes) {
  const auto options = parse({"--print", "--json", "--help", "--version"});
  EXPECT_TRUE(options.printReport);
  EXPECT_TRUE(options.jsonReport);
  EXPECT_TRUE(options.help);
  EXPECT_TRUE(options.version);
  EXPECT_TRUE(parse({"--json"}).jsonReport);
  EXPECT_FALSE(parse({"--json"}).printReport);
}

namespace {

struct Expected {
  Source source;
  std::vector<const std::type_info*> types;
  std::optional<Scenario> scenario;
};

}  // namespace

TEST(LaunchOptionsStore, EachSourceBuildsItsProvidersInServiceOrder) {
  const std::vector<Expected> catalogue{
      {Source::mock(Scenario::normal), {&typeid(MockUsageProvider), &typeid(MockUsageProvider)}, Scenario::normal},
      {Source::mock(Scenario::high), {&typeid(MockUsageProvider), &typeid(MockUsageProvider)}, Scenario::high},
      {Source::mock(Scenario::notSignedIn),
       {&typeid(MockUsageProvider), &typeid(MockUsageProvider)},
       Scenario::notSignedIn},
      {Source::mock(Scenario::error), {&typeid(MockUsageProvider), &typeid(MockUsageProvider)}, Scenario::error},
      {Source::of(Kind::stale), {&typeid(StaleMockProvider), &typeid(StaleMockProvider)}, std::nullopt},
      {Source::of(Kind::mixed), {&typeid(MockUsageProvider), &typeid(MockUsageProvider)}, std::nullopt},
      {Source::of(Kind::retained), {&typeid(RetainedMockProvider), &typeid(RetainedMockProvider)}, std::nullopt},
      {Source::of(Kind::trends), {&typeid(TrendShowcaseProvider), &typeid(TrendShowcaseProvider)}, std::nullopt},
  };
  for (const auto& expected : catalogue) {
    LaunchOptions options;
    options.source = expected.source;
    const auto store = options.makeStore();
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->mockScenario(), expected.scenario);
    const auto& providers = store->providers();
    ASSERT_EQ(providers.size(), ServiceIDs::allCases.size());
    for (std::size_t i = 0; i < providers.size(); ++i) {
      EXPECT_EQ(providers[i]->service(), ServiceIDs::allCases[i]);
      const UsageProvider& provider = *providers[i];
      EXPECT_EQ(typeid(provider), *expected.types[i]);
      if (const auto* mock = dynamic_cast<const MockUsageProvider*>(&provider); mock && expected.scenario) {
        EXPECT_EQ(mock->scenario(), *expected.scenario);
      }
    }
  }
}

TEST(LaunchOptionsStore, MixedSourcePairsNormalClaudeWithSignedOutCodex) {
  LaunchOptions options;
  options.source = Source::of(Kind::mixed);
  const auto store = options.makeStore();
  ASSERT_NE(store, nullptr);
  const auto* claude = dynamic_cast<const MockUsageProvider*>(store->providers()[0].get());
  const auto* codex = dynamic_cast<const MockUsageProvider*>(store->providers()[1].get());
  ASSERT_TRUE(claude && codex);
  EXPECT_EQ(claude->scenario(), Scenario::normal);
  EXPECT_EQ(codex->scenario(), Scenario::notSignedIn);
}

class LaunchOptionsLiveStore : public SandboxedTest {};

TEST_F(LaunchOptionsLiveStore, LiveSourceBuildsTheProductionProvidersWithoutAScenario) {
  for (const auto& arguments : {QStringList{}, QStringList{"--print"}, QStringList{"--json"}}) {
    const auto store = parse(arguments).makeStore();
    ASSERT_NE(store, nullptr);
    EXPECT_FALSE(store->mockScenario());
    ASSERT_EQ(store->providers().size(), 2u);
    EXPECT_EQ(store->providers()[0]->service(), ServiceID::claude);
    EXPECT_EQ(store->providers()[1]->service(), ServiceID::codex);
    EXPECT_EQ(dynamic_cast<const MockUsageProvider*>(store->providers()[0].get()), nullptr);
  }
}
