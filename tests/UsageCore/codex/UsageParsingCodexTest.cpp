#include <gtest/gtest.h>

#include <QList>
#include <nlohmann/json.hpp>

#include "TestSandbox.h"
#include "model/UsageParseError.h"
#include "model/UsageParsing.h"

namespace {

using nlohmann::json;

const TimePoint kParsedAt = fromEpochSeconds(1788000000);  // 2026-08-29T10:40:00Z
const json kAbsent = json(json::value_t::discarded);

// A token_count record with the given rate_limits member.
QByteArray record(const json& rateLimits, const json& timestamp = "2026-09-01T07:45:43.552Z") {
  json line = {{"type", "event_msg"},
               {"payload", {{"type", "token_count"}, {"info", nullptr}, {"rate_limits", rateLimits}}}};
  if (!timestamp.is_discarded()) line["timestamp"] = timestamp;
  return QByteArray::fromStdString(line.dump());
}

json window(const json& usedPercent, const json& minutes = 300, const json& resetsAt = 1788265323) {
  json w = {{"used_percent", usedPercent}};
  if (!minutes.is_discarded()) w["window_minutes"] = minutes;
  if (!resetsAt.is_discarded()) w["resets_at"] = resetsAt;
  return w;
}

std::optional<ServiceUsage> parse(const QByteArray& line, std::optional<std::string> plan = std::nullopt) {
  return UsageParsing::codexEvent(line, plan, kParsedAt);
}

QByteArray base64url(const std::string& text) {
  return QByteArray::fromStdString(text).toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray authWithMiddle(const QByteArray& middle) {
  const json auth = {{"tokens", {{"id_token", ("eyJhbGciOiJub25lIn0." + middle + ".c2ln").toStdString()}}}};
  return QByteArray::fromStdString(auth.dump());
}

QByteArray withClaims(const json& claims) { return authWithMiddle(base64url(claims.dump())); }

}  // namespace

TEST(CodexEvent, ReadsRealRecordsOfBothGenerations) {
  const QList<QByteArray> recent = fixture("codex-rollout-recent.jsonl").trimmed().split('\n');
  const auto usage = parse(recent.last());
  ASSERT_TRUE(usage);
  EXPECT_EQ(usage->planName, "plus");
  ASSERT_EQ(usage->windows.size(), 2u);
  EXPECT_EQ(usage->windows[0], UsageWindow("codex_primary", "5시간", 100, fromEpochSeconds(1788265323), 300));
  EXPECT_EQ(usage->windows[1], UsageWindow("codex_secondary", "주간", 56, fromEpochSeconds(1788765541), 10080));
  EXPECT_TRUE(usage->metrics.empty());
  EXPECT_DOUBLE_EQ(toEpochSeconds(usage->fetchedAt), 1788248743.552);
  EXPECT_EQ(parse(recent.last(), "pro")->planName, "pro");  // the auth file's plan wins

  // Late-2025 records: no limit_id, no plan_type; their reset times lie before kParsedAt.
  const auto old = parse(fixture("codex-rollout-older.jsonl").trimmed().split('\n').last());
  ASSERT_TRUE(old);
  EXPECT_EQ(old->planName, std::nullopt);
  EXPECT_EQ(old->windows.at(0).label, "5시간 (리셋됨/갱신 대기)");
  EXPECT_DOUBLE_EQ(old->windows.at(0).usedPercent, 8);
}

TEST(CodexEvent, OnlyTheAccountsMainLimitCounts) {
  EXPECT_FALSE(parse(record(nullptr)));
  EXPECT_FALSE(parse(record({{"primary", nullptr}, {"secondary", nullptr}})));
  EXPECT_FALSE(parse(
      R"({"type":"response_item","payload":{"type":"token_count","rate_limits":{"primary":{"used_percent":5}}}})"));
  // A model-specific bucket is not the account's limit; the main one (or an older unnamed one) is.
  EXPECT_FALSE(parse(record({{"primary", window(10)}, {"limit_id", "codex_bengalfox"}})));
  EXPECT_TRUE(parse(record({{"primary", window(10)}, {"limit_id", nullptr}})));
}

TEST(CodexEvent, MalformedRecordsThrow) {
  for (const QByteArray& line : {
           QByteArray("{\"type\":\"event_msg\",\"payload\":{\"type\":\"token_c"),  // partial line
           QByteArray(R"({"payload":{"type":"token_count"}})"),                    // missing key
           record({{"primary", window("7")}}),                                     // wrong type
           record({{"primary", window(7, 300.0)}}),                                // no silent truncation of fractions
           record({{"primary", window(7, 4294967596LL)}}),                         // would wrap to 300 as an int
       }) {
    EXPECT_THROW(parse(line), json::exception) << line.toStdString();
  }
  for (const json& primary : {window(7, 0), window(7, 300, 253402300800.0)}) {
    EXPECT_THROW(parse(record({{"primary", primary}})), UsageParseError::invalidResponse) << primary.dump();
  }
  EXPECT_TRUE(parse(record({{"primary", window(7, 300, 253402300799.0)}})));  // the last second of year 9999
}

TEST(CodexEvent, LabelsFollowWindowLength) {
  const std::tuple<json, bool, std::string> cases[] = {
      {300, true, "5시간"},         {10080, true, "주간"},         {1440, true, "24시간"}, {90, true, "90분"},
      {nullptr, true, "기본 한도"}, {kAbsent, false, "추가 한도"}, {10080, false, "주간"},  // weekly-only accounts may
                                                                                            // report either slot
  };
  for (const auto& [minutes, primary, label] : cases) {
    const auto usage = parse(record({{primary ? "primary" : "secondary", window(10, minutes)}}));
    EXPECT_EQ(usage->windows.at(0).label, label) << minutes.dump();
  }
}

TEST(CodexEvent, PercentClampedAndPassedResetMarked) {
  const double now = toEpochSeconds(kParsedAt);
  const auto usage =
      parse(record({{"secondary", window(-5, 10080, now)}, {"primary", window(120, 300, now - 60)}}, kAbsent));
  ASSERT_TRUE(usage);
  EXPECT_EQ(usage->windows[0].id, "codex_primary");
  EXPECT_EQ(usage->windows[0].label, "5시간 (리셋됨/갱신 대기)");
  EXPECT_EQ(usage->windows[0].usedPercent, 100);                  // figures from before the reset are kept
  EXPECT_EQ(usage->windows[1].label, "주간 (리셋됨/갱신 대기)");  // equal to now counts as passed
  EXPECT_EQ(usage->windows[1].usedPercent, 0);
  const std::vector<UsageMetric> expected = {
      {"codex_primary_reset", "5시간 사용량", "리셋됨/갱신 대기 · Codex 실행 후 새로고침하세요"},
      {"codex_secondary_reset", "주간 사용량", "리셋됨/갱신 대기 · Codex 실행 후 새로고침하세요"},
      {"codex_timestamp", "기록 시각", "확인할 수 없어요"},
  };
  EXPECT_EQ(usage->metrics, expected);
  EXPECT_EQ(usage->fetchedAt, distantPast());

  const auto future = parse(record({{"primary", window(33.7, kAbsent, now + 0.5)}}, "yesterday"));
  EXPECT_EQ(future->windows[0].label, "기본 한도");
  EXPECT_DOUBLE_EQ(future->windows[0].usedPercent, 33.7);
  EXPECT_EQ(future->fetchedAt, distantPast());
  EXPECT_EQ(future->metrics, std::vector{expected[2]});
}

TEST(CodexPlan, ReadsThePlanClaimOfTheIdTokenOnly) {
  EXPECT_EQ(UsageParsing::codexPlan(fixture("codex-auth.json")), "plus");
  const std::string key = "https://api.openai.com/auth";
  const QByteArray claims = base64url(R"({"chatgpt_plan_type":"plus"})");
  const std::pair<QByteArray, std::optional<std::string>> cases[] = {
      {withClaims({{"chatgpt_plan_type", "team"}}), "team"},
      {withClaims({{"chatgpt_plan_type", "team"}, {key, {{"chatgpt_plan_type", "Pro"}}}}), "Pro"},
      {withClaims({{"chatgpt_plan_type", "team"}, {key, {{"user_id", "u"}}}}), "team"},
      // A nested claim of the wrong type is not replaced by the top-level one.
      {withClaims({{"chatgpt_plan_type", "team"}, {key, {{"chatgpt_plan_type", 1}}}}), std::nullopt},
      {withClaims({{"chatgpt_plan_type", nullptr}}), std::nullopt},
      // Claims of lengths 3k, 3k+1 and 3k+2 need no, two or one padding characters; "~~~???" puts
      // '-' and '_' into the url alphabet.
      {withClaims({{"chatgpt_plan_type", "~~~???"}}), "~~~???"},
      {withClaims({{"chatgpt_plan_type", "~~~???a"}}), "~~~???a"},
      {withClaims({{"chatgpt_plan_type", "~~~???ab"}}), "~~~???ab"},
      {"not json", std::nullopt},
      {R"({"tokens":{"id_token":42}})", std::nullopt},
      {R"({"tokens":{"id_token":"a.)" + claims + R"("}})", std::nullopt},
      {R"({"tokens":{"id_token":"a.)" + claims + R"(.b.c"}})", std::nullopt},
      {R"({"tokens":{"access_token":"a.)" + claims + R"(.b"}})", std::nullopt},
      {authWithMiddle("!!not base64!!"), std::nullopt},
      {authWithMiddle(claims.left(claims.size() - 1) + "A"), std::nullopt},  // damaged JSON
      {authWithMiddle(base64url("\"plus\"")), std::nullopt},
  };
  for (const auto& [auth, plan] : cases) EXPECT_EQ(UsageParsing::codexPlan(auth), plan) << auth.toStdString();
}
