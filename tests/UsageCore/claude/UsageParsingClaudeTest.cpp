#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "TestSandbox.h"
#include "model/ISO8601.h"
#include "model/UsageParseError.h"
#include "model/UsageParsing.h"

using json = nlohmann::json;
using Ids = std::vector<std::string>;

namespace {

const TimePoint kNow = fromEpochSeconds(1773100000);

ServiceUsage parse(const QByteArray& body, std::optional<std::string> plan = std::nullopt) {
  return UsageParsing::claude(body, plan, kNow);
}

Ids ids(const ServiceUsage& usage) {
  Ids result;
  for (const auto& window : usage.windows) result.push_back(window.id);
  return result;
}

TimePoint at(const char* text) { return *ISO8601::parse(text); }

}  // namespace

TEST(UsageParsingClaudeTest, ClassicAndCurrentAnswers) {
  const auto usage = parse(fixture("claude-usage-basic.json"), "max");
  EXPECT_EQ(usage.planName, "max");
  EXPECT_EQ(usage.fetchedAt, kNow);
  ASSERT_EQ(ids(usage), (Ids{"five_hour", "seven_day", "seven_day_sonnet"}));
  EXPECT_EQ(usage.windows[0], UsageWindow("five_hour", "5시간", 37.0, at("2026-03-10T04:59:59Z"), 300));
  EXPECT_NEAR(toEpochSeconds(*usage.windows[1].resetsAt), toEpochSeconds(at("2026-03-15T14:59:59Z")) + 0.771647, 1e-6);

  // Code-named members, extra_usage, spend and the session/weekly_all limits never become windows;
  // the model-scoped weekly limit does, after the keyed ones.
  const auto current = parse(fixture("claude-usage-with-limits.json"));
  ASSERT_EQ(ids(current), (Ids{"five_hour", "seven_day", "seven_day_scoped.Fable"}));
  EXPECT_EQ(current.windows[2], UsageWindow("seven_day_scoped.Fable", "주간 (Fable)", 0, std::nullopt, 10080));
}

// Windows without a utilisation are skipped; the rest come in a fixed order.
TEST(UsageParsingClaudeTest, KnownWindowsFirstThenOthersByKey) {
  const auto usage = parse(R"({"seven_day_zeta": {"utilization": 1}, "seven_day_cowork": {"utilization": 2},
    "seven_day": {"utilization": 104.2}, "seven_day_alpha": {"utilization": 4, "resets_at": null},
    "seven_day_oauth_apps": {"utilization": 5}, "five_hour": {"utilization": -3},
    "seven_day_opus": {"utilization": 37.5, "resets_at": "2026-04-11T16:00:00+09:00"},
    "seven_day_sonnet": {"utilization": 8}, "five_hours": 3, "sevenday": {"utilization": 1},
    "seven_day_null": null, "seven_day_empty": {}, "seven_day_list": [1], "seven_day_bare": {"resets_at": null}})");
  ASSERT_EQ(ids(usage), (Ids{"five_hour", "seven_day", "seven_day_opus", "seven_day_sonnet", "seven_day_oauth_apps",
                             "seven_day_cowork", "seven_day_alpha", "seven_day_zeta"}));
  EXPECT_EQ(usage.windows[6], UsageWindow("seven_day_alpha", "주간 (추가 한도)", 4, std::nullopt, 10080));
  // Clamped, not rounded; reset times in any zone form.
  EXPECT_DOUBLE_EQ(usage.windows[0].usedPercent, 0);
  EXPECT_DOUBLE_EQ(usage.windows[1].usedPercent, 100);
  EXPECT_DOUBLE_EQ(usage.windows[2].usedPercent, 37.5);
  EXPECT_EQ(usage.windows[2].resetsAt, at("2026-04-11T07:00:00Z"));
  EXPECT_EQ(usage.windows[1].resetsAt, std::nullopt);
}

TEST(UsageParsingClaudeTest, OneBadWindowOrNoWindowFailsTheWholeAnswer) {
  const auto withSevenDay = [](const std::string& member) {
    return QByteArray::fromStdString(R"({"five_hour": {"utilization": 10}, "seven_day": )" + member + "}");
  };
  // Null and wrong-typed utilisation, a reset time of the wrong type, a number out of range.
  for (const char* member : {R"({"utilization": null})", R"({"utilization": "12"})",
                             R"({"utilization": 1, "resets_at": 1775890800})", R"({"utilization": 1e999})"}) {
    EXPECT_THROW(parse(withSevenDay(member)), json::exception) << member;
  }
  EXPECT_THROW(parse(withSevenDay(R"({"utilization": 1, "resets_at": "2026-04-11 07:00:00"})")),
               UsageParseError::invalidResponse);
  EXPECT_THROW(parse("<html>502</html>"), json::parse_error);
  for (const char* body : {"[]", "{}", R"({"error": {"message": "Rate limited.", "type": "rate_limit_error"}})"}) {
    EXPECT_THROW(parse(body), UsageParseError::invalidResponse) << body;
  }
}

TEST(UsageParsingClaudeTest, DeepNestingIsRefusedWithoutWalkingIt) {
  const auto nested = [](int depth) { return QByteArray(depth, '[') + QByteArray(depth, ']'); };
  // A few levels of unrelated members are fine; 150,000 once overflowed the stack.
  EXPECT_EQ(ids(parse(R"({"five_hour": {"utilization": 1}, "extra": )" + nested(40) + "}")), Ids{"five_hour"});
  EXPECT_THROW(parse(R"({"five_hour": {"utilization": 1}, "limits": [{"kind": )" + nested(150000) + "}]}"),
               UsageParseError::invalidResponse);
}

TEST(UsageParsingClaudeTest, ScopedLimitsOfTheWrongShapeOrShownAlreadyAreSkipped) {
  const auto usage = parse(R"({"seven_day_sonnet": {"utilization": 20}, "limits": [
    {"kind": "weekly_scoped", "percent": 12.5, "resets_at": "2026-08-20T02:59:59.418747+00:00",
     "scope": {"model": {"display_name": "Opus"}}},
    {"kind": "weekly_scoped", "percent": null, "scope": {"model": {"display_name": "NoPercent"}}},
    {"kind": "weekly_scoped", "percent": 3, "scope": {"model": null, "surface": {"display_name": "Web"}}},
    {"kind": "weekly_scoped", "percent": 3, "scope": {"model": {"display_name": ""}}},
    {"kind": "weekly_scoped", "percent": 3, "resets_at": "soon", "scope": {"model": {"display_name": "BadReset"}}},
    {"kind": "weekly_all", "percent": 20, "scope": {"model": {"display_name": "WrongKind"}}},
    "weekly_scoped", null,
    {"kind": "weekly_scoped", "percent": 20, "scope": {"model": {"display_name": "Sonnet"}}},
    {"kind": "weekly_scoped", "percent": 140, "scope": {"model": {"display_name": "Sonnet 5"}}},
    {"kind": "weekly_scoped", "percent": 1, "scope": {"model": {"display_name": "Opus"}}}
  ]})");
  ASSERT_EQ(ids(usage), (Ids{"seven_day_sonnet", "seven_day_scoped.Opus", "seven_day_scoped.Sonnet 5"}));
  EXPECT_EQ(usage.windows[1].label, "주간 (Opus)");
  EXPECT_DOUBLE_EQ(usage.windows[1].usedPercent, 12.5);
  EXPECT_NEAR(toEpochSeconds(*usage.windows[1].resetsAt), toEpochSeconds(at("2026-08-20T02:59:59.418747Z")), 1e-6);
  EXPECT_DOUBLE_EQ(usage.windows[2].usedPercent, 100);

  // A scoped limit alone is enough; a "limits" member that is not a list is ignored.
  EXPECT_EQ(ids(parse(R"({"five_hour": null, "limits": [
    {"kind": "weekly_scoped", "percent": 7, "scope": {"model": {"display_name": "Fable"}}}]})")),
            Ids{"seven_day_scoped.Fable"});
  EXPECT_EQ(ids(parse(R"({"five_hour": {"utilization": 1}, "limits": {"kind": "weekly_scoped"}})")), Ids{"five_hour"});
}
