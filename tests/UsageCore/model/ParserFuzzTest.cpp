#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>

#include "TestSandbox.h"
#include "claude/ClaudeCredentials.h"
#include "history/HistoryCodec.h"
#include "model/UsageParseError.h"
#include "model/UsageParsing.h"

// Mutated real inputs must end in a value or one of the documented errors: never a crash, a
// hang, an unexpected exception or (under the sanitizers) undefined behaviour.
namespace {

constexpr int kRounds = 1500;
const TimePoint kNow = fromEpochSeconds(1788260000);

QByteArray mutate(QByteArray bytes, std::mt19937& random) {
  static const QByteArray interesting = R"({}[]":,0123456789.-+eE \ntruefalsenull)";
  const int edits = 1 + static_cast<int>(random() % 4);
  for (int i = 0; i < edits && !bytes.isEmpty(); ++i) {
    const auto at = static_cast<qsizetype>(random() % static_cast<unsigned>(bytes.size()));
    switch (random() % 5) {
      case 0:
        bytes[at] = interesting[static_cast<qsizetype>(random() % interesting.size())];
        break;
      case 1:
        bytes.remove(at, 1 + static_cast<qsizetype>(random() % 8));
        break;
      case 2:
        bytes.insert(at, interesting[static_cast<qsizetype>(random() % interesting.size())]);
        break;
      case 3:
        bytes.truncate(at);
        break;
      default:
        bytes[at] = static_cast<char>(random() % 256);
        break;
    }
  }
  return bytes;
}

// Runs `parse` on mutations of `seed`; counts how many still parsed, to prove the mutations
// are not all rejected at the first byte.
template <typename Parse>
int fuzz(const QByteArray& seed, unsigned seedNumber, Parse parse) {
  std::mt19937 random(seedNumber);
  int accepted = 0;
  for (int round = 0; round < kRounds; ++round) {
    const QByteArray input = mutate(seed, random);
    try {
      if (parse(input)) ++accepted;
    } catch (const UsageParseError::invalidResponse&) {
    } catch (const nlohmann::json::exception&) {
    }
  }
  return accepted;
}

}  // namespace

TEST(ParserFuzz, ClaudeUsageAnswers) {
  for (const char* name : {"claude-usage-basic.json", "claude-usage-with-limits.json"}) {
    const int accepted = fuzz(fixture(name), 1, [](const QByteArray& bytes) {
      const ServiceUsage usage = UsageParsing::claude(bytes, std::string("max"), kNow);
      for (const auto& window : usage.windows) {
        EXPECT_TRUE(window.usedPercent >= 0 && window.usedPercent <= 100);
      }
      return !usage.windows.empty();
    });
    EXPECT_GT(accepted, 0) << name;
  }
}

TEST(ParserFuzz, CodexLogLinesAndAuthFile) {
  const QByteArray log = fixture("codex-rollout-recent.jsonl");
  const QByteArray record = log.split('\n').at(4);
  const int accepted = fuzz(record, 2, [](const QByteArray& line) {
    const auto usage = UsageParsing::codexEvent(line, std::nullopt, kNow);
    if (usage) {
      EXPECT_FALSE(usage->windows.empty());
    }
    return usage.has_value();
  });
  EXPECT_GT(accepted, 0);
  // The plan reader never throws at all.
  fuzz(fixture("codex-auth.json"), 3,
       [](const QByteArray& bytes) { return UsageParsing::codexPlan(bytes).has_value(); });
}

TEST(ParserFuzz, ClaudeCredentials) {
  const int accepted = fuzz(fixture("claude-credentials.json"), 4, [](const QByteArray& bytes) {
    const auto credentials = ClaudeCredentials::parse(bytes);
    return credentials && !credentials->accessToken.empty();
  });
  EXPECT_GT(accepted, 0);
}

TEST(ParserFuzz, HistoryFileBodies) {
  const QByteArray seed =
      R"({"version":1,"entries":[{"service":"claude","windowID":"five_hour","usedPercent":12.5,"at":1788250000,)"
      R"("resetsAt":1788260000},{"service":"codex","windowID":"codex_primary","usedPercent":40,"at":1788250060}]})";
  const int accepted = fuzz(seed, 5, [](const QByteArray& bytes) {
    std::vector<HistoryEntry> entries;
    const auto version = HistoryCodec::decodeLossy(std::string_view(bytes.constData(), bytes.size()),
                                                   [&](HistoryEntry&& entry) { entries.push_back(std::move(entry)); });
    if (!version) return false;
    // Whatever decodes must encode again.
    EXPECT_FALSE(HistoryCodec::encode(entries).empty());
    return true;
  });
  EXPECT_GT(accepted, 0);
}
