#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "ISO8601.h"
#include "TestSandbox.h"
#include "UsageParseError.h"
#include "UsageParsing.h"

using json = nlohmann::json;

namespace {

const TimePoint kNow = fromEpochSeconds(1773100000);

ServiceUsage parse(const QByteArray& body, std::optional<std::string> plan = std::nullopt) {
  return UsageParsing::claude(body, plan, kNow);
}

std::vector<std::string> ids(const ServiceUsage& usage) {
  std::vector<std::string> result;
  for (const auto& window : usage.windows) result.push_back(window.id);
  return result;
}

TimePoint at(const char* text) { return *ISO8601::parse(text); }

}  // namespace

TEST(UsageParsingClaudeTest, ClassicAnswer) {
  const auto usage = parse(fixture("claude-usage-basic.json"), "max");
  EXPECT_EQ(usage.service, ServiceID::claude);
  EXPECT_EQ(usage.planName, "max");
  EXPECT_TRUE(usage.metrics.empty());
  EXPECT_EQ(usage.fetchedAt, kNow);
  EXPECT_TRUE(usage.status.isOk());
  ASSERT_EQ(ids(usage), (std::vector<std::string>{"five_hour", "seven_day", "seven_day_sonnet"}));

  EXPECT_EQ(usage.windows[0], UsageWindow("five_hour", "5시간", 37.0, at("2026-03-10T04:59:59Z"), 300));
  EXPECT_EQ(usage.windows[1].label, "주간");
  EXPECT_DOUBLE_EQ(usage.windows[1].usedPercent, 26.0);
  EXPECT_NEAR(toEpochSeconds(*usage.windows[1].resetsAt), toEpochSeconds(at("2026-03-15T14:59:59Z")) + 0.771647, 1e-6);
  EXPECT_EQ(usage.windows[1].windowMinutes, 10080);
  EXPECT_EQ(usage.windows[2].label, "주간 (Sonnet)");
}

TEST(UsageParsingClaudeTest, CurrentAnswerWithCodeNamesAndScopedLimits) {
  const auto usage = parse(fixture("claude-usage-with-limits.json"));
  EXPECT_EQ(usage.planName, std::nullopt);
  // Code-named members, extra_usage, spend and the session/weekly_all limits never become windows;
  // the model-scoped weekly limit does, after the keyed ones.
  ASSERT_EQ(ids(usage), (std::vector<std::string>{"five_hour", "seven_day", "seven_day_scoped.Fable"}));
  EXPECT_DOUBLE_EQ(usage.windows[0].usedPercent, 9);
  EXPECT_EQ(usage.windows[2], UsageWindow("seven_day_scoped.Fable", "주간 (Fable)", 0, std::nullopt, 10080));
}

TEST(UsageParsingClaudeTest, WindowOrderFollowsTheKnownListThenKeys) {
  const auto usage = parse(R"({
    "seven_day_zeta": {"utilization": 1}, "seven_day_cowork": {"utilization": 2},
    "seven_day": {"utilization": 3}, "seven_day_alpha": {"utilization": 4},
    "seven_day_oauth_apps": {"utilization": 5}, "five_hour": {"utilization": 6},
    "seven_day_opus": {"utilization": 7}, "seven_day_sonnet": {"utilization": 8}})");
  EXPECT_EQ(ids(usage), (std::vector<std::string>{"five_hour", "seven_day", "seven_day_opus", "seven_day_sonnet",
                                                  "seven_day_oauth_apps", "seven_day_cowork", "seven_day_alpha",
                                                  "seven_day_zeta"}));
  EXPECT_EQ(usage.windows[4].label, "주간 (연동 앱)");
  EXPECT_EQ(usage.windows[5].label, "주간 (Cowork)");
  for (std::size_t i = 6; i < 8; ++i) {
    EXPECT_EQ(usage.windows[i].label, "주간 (추가 한도)");
    EXPECT_EQ(usage.windows[i].windowMinutes, 10080);
  }
}

TEST(UsageParsingClaudeTest, UnusableWindowsAreSkipped) {
  EXPECT_EQ(ids(parse(R"({"five_hour": null, "seven_day": {"utilization": 5}})")),
            std::vector<std::string>{"seven_day"});
  EXPECT_EQ(ids(parse(R"({"five_hour": {}, "seven_day": {"utilization": 5}})")), std::vector<std::string>{"seven_day"});
  EXPECT_EQ(ids(parse(R"({"five_hour": {"resets_at": null}, "seven_day": {"utilization": 5}, "five_hours": 3})")),
            std::vector<std::string>{"seven_day"});
  EXPECT_EQ(ids(parse(R"({"seven_day": [1], "five_hour": {"utilization": 5}, "sevenday": {"utilization": 1}})")),
            std::vector<std::string>{"five_hour"});
}

TEST(UsageParsingClaudeTest, UtilizationIsClampedNotRounded) {
  const auto usage = parse(R"({"five_hour": {"utilization": 104.2}, "seven_day": {"utilization": -3},
                               "seven_day_opus": {"utilization": 37.5}, "seven_day_sonnet": {"utilization": 33.0}})");
  EXPECT_DOUBLE_EQ(usage.windows[0].usedPercent, 100);
  EXPECT_DOUBLE_EQ(usage.windows[1].usedPercent, 0);
  EXPECT_DOUBLE_EQ(usage.windows[2].usedPercent, 37.5);
  EXPECT_DOUBLE_EQ(usage.windows[3].usedPercent, 33);
}

TEST(UsageParsingClaudeTest, ResetTimesInEveryZoneForm) {
  const auto usage = parse(R"({"five_hour": {"utilization": 1, "resets_at": "2026-04-11T07:00:00Z"},
    "seven_day": {"utilization": 1, "resets_at": "2026-04-11T16:00:00+09:00"},
    "seven_day_opus": {"utilization": 1, "resets_at": "2026-04-11T07:00:00.5+00:00"},
    "seven_day_sonnet": {"utilization": 1, "resets_at": null},
    "seven_day_cowork": {"utilization": 1}})");
  EXPECT_EQ(usage.windows[0].resetsAt, at("2026-04-11T07:00:00Z"));
  EXPECT_EQ(usage.windows[1].resetsAt, at("2026-04-11T07:00:00Z"));
  EXPECT_EQ(usage.windows[2].resetsAt, at("2026-04-11T07:00:00.5Z"));
  EXPECT_EQ(usage.windows[3].resetsAt, std::nullopt);
  EXPECT_EQ(usage.windows[4].resetsAt, std::nullopt);
}

TEST(UsageParsingClaudeTest, OneBadWindowFailsTheWholeAnswer) {
  const auto withSevenDay = [](const std::string& member) {
    return QByteArray::fromStdString(R"({"five_hour": {"utilization": 10}, "seven_day": )" + member + "}");
  };
  // Shape errors of a window are decoding errors.
  for (const char* member : {R"({"utilization": null})", R"({"utilization": "12"})", R"({"utilization": true})",
                             R"({"utilization": 1, "resets_at": 1775890800})", R"({"utilization": 1e999})"}) {
    EXPECT_THROW(parse(withSevenDay(member)), json::exception) << member;
  }
  // Values that decode but cannot be used.
  for (const char* member : {R"({"utilization": 1, "resets_at": "next week"})",
                             R"({"utilization": 1, "resets_at": "2026-04-11 07:00:00"})"}) {
    EXPECT_THROW(parse(withSevenDay(member)), UsageParseError::invalidResponse) << member;
  }
}

TEST(UsageParsingClaudeTest, AnswersWithoutWindows) {
  EXPECT_THROW(parse("<html>502</html>"), json::parse_error);
  EXPECT_THROW(parse(""), json::parse_error);
  EXPECT_THROW(parse("[]"), UsageParseError::invalidResponse);
  EXPECT_THROW(parse(R"("five_hour")"), UsageParseError::invalidResponse);
  EXPECT_THROW(parse("{}"), UsageParseError::invalidResponse);
  EXPECT_THROW(parse(R"({"five_hour": null, "seven_day": null, "seven_day_opus": null})"),
               UsageParseError::invalidResponse);
  EXPECT_THROW(parse(R"({"error": {"message": "Rate limited.", "type": "rate_limit_error"}})"),
               UsageParseError::invalidResponse);
}

TEST(UsageParsingClaudeTest, ScopedLimitEntriesOfTheWrongShapeAreSkipped) {
  const auto usage = parse(R"({"seven_day": {"utilization": 20}, "limits": [
    {"kind": "weekly_scoped", "percent": 12.5, "resets_at": "2026-08-20T02:59:59.418747+00:00",
     "scope": {"model": {"display_name": "Opus"}}},
    {"kind": "weekly_scoped", "percent": null, "scope": {"model": {"display_name": "NoPercent"}}},
    {"kind": "weekly_scoped", "percent": "3", "scope": {"model": {"display_name": "StringPercent"}}},
    {"kind": "weekly_scoped", "percent": 3, "scope": null},
    {"kind": "weekly_scoped", "percent": 3, "scope": {"model": null, "surface": {"display_name": "Web"}}},
    {"kind": "weekly_scoped", "percent": 3, "scope": {"model": {"display_name": ""}}},
    {"kind": "weekly_scoped", "percent": 3, "scope": {"model": {"display_name": 5}}},
    {"kind": "weekly_scoped", "percent": 3, "resets_at": "soon", "scope": {"model": {"display_name": "BadReset"}}},
    {"kind": "weekly_all", "percent": 20, "scope": {"model": {"display_name": "WrongKind"}}},
    {"percent": 3, "scope": {"model": {"display_name": "NoKind"}}},
    "weekly_scoped", 7, null,
    {"kind": "weekly_scoped", "percent": 140, "scope": {"model": {"display_name": "Sonnet 5"}}},
    {"kind": "weekly_scoped", "percent": 1, "scope": {"model": {"display_name": "Opus"}}}
  ]})");
  ASSERT_EQ(ids(usage), (std::vector<std::string>{"seven_day", "seven_day_scoped.Opus", "seven_day_scoped.Sonnet 5"}));
  EXPECT_EQ(usage.windows[1].label, "주간 (Opus)");
  EXPECT_DOUBLE_EQ(usage.windows[1].usedPercent, 12.5);
  EXPECT_NEAR(toEpochSeconds(*usage.windows[1].resetsAt), toEpochSeconds(at("2026-08-20T02:59:59.418747Z")), 1e-6);
  EXPECT_EQ(usage.windows[2].label, "주간 (Sonnet 5)");
  EXPECT_DOUBLE_EQ(usage.windows[2].usedPercent, 100);

  // A "limits" member that is not a list is ignored as well.
  EXPECT_EQ(ids(parse(R"({"five_hour": {"utilization": 1}, "limits": {"kind": "weekly_scoped"}})")),
            std::vector<std::string>{"five_hour"});
}

TEST(UsageParsingClaudeTest, ModelShownByItsOwnMemberIsNotRepeated) {
  const auto usage = parse(R"({"seven_day_opus": {"utilization": 40}, "limits": [
    {"kind": "weekly_scoped", "percent": 40, "scope": {"model": {"display_name": "Opus"}}}]})");
  EXPECT_EQ(ids(usage), std::vector<std::string>{"seven_day_opus"});
}

TEST(UsageParsingClaudeTest, ScopedLimitAloneIsEnough) {
  const auto usage = parse(R"({"five_hour": null, "limits": [
    {"kind": "weekly_scoped", "percent": 7, "scope": {"model": {"display_name": "Fable"}}}]})");
  EXPECT_EQ(ids(usage), std::vector<std::string>{"seven_day_scoped.Fable"});
}
