#include <gtest/gtest.h>

#include <QList>
#include <random>

#include "TestSandbox.h"
#include "codex/CodexRecord.h"

namespace {

// What the general decoder makes of a line, errors counting as no record.
std::optional<CodexRecord> reference(std::string_view line) {
  try {
    return CodexRecord::decode(line);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

const std::string kRecord =
    R"({"timestamp":"2026-09-01T07:45:43.552Z","type":"event_msg","payload":{"type":"token_count","info":)"
    R"({"total_token_usage":{"input_tokens":26689078,"output_tokens":120044},"model_context_window":258400},)"
    R"("rate_limits":{"limit_id":"codex","limit_name":null,"primary":{"used_percent":12.5,"window_minutes":300,)"
    R"("resets_at":1788265323},"secondary":{"used_percent":56,"window_minutes":10080,"resets_at":1788765541},)"
    R"("credits":null,"plan_type":"plus","rate_limit_reached_type":null}}})";

std::string replaced(std::string line, const std::string& from, const std::string& to) {
  const auto at = line.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? line : line.replace(at, from.size(), to);
}

}  // namespace

TEST(CodexRecordLine, ReadsEveryLineAsTheGeneralDecoderDoes) {
  std::vector<std::string> lines{kRecord};
  for (const char* name : {"codex-rollout-recent.jsonl", "codex-rollout-older.jsonl"}) {
    for (const QByteArray& line : fixture(name).split('\n')) lines.push_back(line.toStdString());
  }
  // Each edit changes one thing that decides between a record, none, and the general decoder.
  const std::vector<std::pair<std::string, std::vector<std::string>>> edits = {
      {"12.5", {"1e2", "-0", "1e999", "\"12\"", "true", "0.5e-400"}},
      {":300", {":300.0", ":-1", ":3000000000", ":99999999999999999999", ":null"}},
      {"1788265323", {"1e300", "null"}},
      {"\"codex\"", {"\"codex_bengalfox\"", "7"}},
      {"\"plus\"", {"1", "\"pl\\u0075s\""}},
      {"\"type\":\"event_msg\"", {"\"type\":\"event_msg\",\"type\":\"x\"", "\"type\":null"}},
      {"\"timestamp\":\"", {"\"timestamp\":\"1999", "\"timestamp\":7,\"x\":\""}},
      {"\"primary\":{", {"\"primary\":[{"}},
      {"{\"used_percent\":56", {"{\"used\":56"}},
      {"\"info\":{", {"\"info\":{\"a\":" + std::string(40, '[') + "1" + std::string(40, ']') + ","}},
      {"\"rate_limits\":{", {"\"rate_limits\":{\"limit_id\":\"x\","}},
      {"input_tokens", {"input_t\\u00f6kens"}},
      {"\"credits\":null", {"\"credits\":nul", "\"credits\":\"caf\xc3\xa9\""}},
      {"{\"timestamp", {" \t{\"timestamp"}},
      {"\"payload\":{", {"\"payload\":{\"type\":\"token_count\","}},
  };
  for (const auto& [from, tos] : edits) {
    for (const std::string& to : tos) lines.push_back(replaced(kRecord, from, to));
  }
  lines.push_back(kRecord + " ");
  lines.push_back(kRecord + "x");
  lines.push_back(kRecord.substr(0, kRecord.size() - 1));

  // Random damage to a record: every byte that matters to JSON, anywhere in the line.
  std::mt19937 random(7);
  const std::string damage = "{}[]\":,.-+e0123456789 \\nutlfa\x01\xff";
  for (int i = 0; i < 4000; ++i) {
    std::string line = kRecord;
    for (int edits = 1 + int(random() % 3); edits > 0; --edits) {
      const std::size_t at = random() % line.size();
      const char byte = damage[random() % damage.size()];
      switch (random() % 3) {
        case 0:
          line[at] = byte;
          break;
        case 1:
          line.insert(at, 1, byte);
          break;
        default:
          line.erase(at, 1);
      }
    }
    lines.push_back(line);
  }

  int records = 0;
  for (const std::string& line : lines) {
    const auto expected = reference(line);
    EXPECT_EQ(CodexRecord::fromLine(line), expected) << line;
    records += expected.has_value();
  }
  EXPECT_GT(records, 100);  // the damage leaves many lines valid records
}
