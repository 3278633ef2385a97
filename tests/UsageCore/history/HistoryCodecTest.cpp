#include <gtest/gtest.h>

#include <random>

#include "history/HistoryCodec.h"

namespace {

struct Decoded {
  std::optional<long long> version;
  std::vector<HistoryEntry> entries;
  // Compared through the writer, which keeps every bit: a sign of zero or a rounding difference
  // would change what is written back.
  bool operator==(const Decoded& other) const {
    return version == other.version && HistoryCodec::encode(entries) == HistoryCodec::encode(other.entries);
  }
  friend void PrintTo(const Decoded& d, std::ostream* out) {
    *out << d.version.value_or(-1) << " " << HistoryCodec::encode(d.entries);
  }
};

template <typename Decode>
Decoded decodeWith(Decode decode, std::string_view body) {
  Decoded result;
  result.version = decode(body, [&](HistoryEntry&& entry) { result.entries.push_back(std::move(entry)); });
  return result;
}

Decoded fast(std::string_view body) { return decodeWith(HistoryCodec::decodeLossy, body); }
Decoded general(std::string_view body) { return decodeWith(HistoryCodec::decodeStreaming, body); }

const std::string kBody =
    R"({"version":1,"entries":[{"service":"claude","windowID":"five_hour","usedPercent":12.5,"at":1788000000.123,)"
    R"("resetsAt":1788018000},{"service":"codex","windowID":"codex_primary","usedPercent":40,"at":1788000060}]})";

}  // namespace

// The quick reader of the program's own bodies must read every body exactly like the general one,
// or leave it to it.
TEST(HistoryCodecTest, QuickReaderAgreesWithTheGeneralOne) {
  const std::string cases[] = {
      kBody,
      " {\n \"entries\" : [ ] , \"version\" : 1 } \n",
      R"({"version":1,"entries":[{"service":"claude","windowID":"a","usedPercent":-0,"at":-0.0,"resetsAt":null}]})",
      R"({"version":1,"entries":[{"service":"claude","windowID":"a","usedPercent":1e2,"at":18446744073709551616}]})",
      R"({"version":1,"entries":[{"service":"claude","windowID":"a","usedPercent":1,"at":9223372036854775809}]})",
      R"({"version":1,"entries":[{"service":"claude","windowID":"a","usedPercent":1,"at":-9223372036854775809}]})",
      R"({"version":1,"entries":[{"service":"claude","windowID":"a","usedPercent":1,"at":1e400}]})",
      // Elements that fail singly: a wrong type, an unknown service, a later duplicate, no time.
      R"({"version":1,"entries":[{"service":"claude","windowID":7,"usedPercent":1,"at":2},)"
      R"({"service":"gemini","windowID":"a","usedPercent":1,"at":2},)"
      R"({"service":"claude","windowID":"a","usedPercent":1,"at":2,"at":"x"},)"
      R"({"service":"claude","windowID":"a","usedPercent":1,"at":"x","at":3},)"
      R"({"service":"claude","windowID":"a","usedPercent":1,"resetsAt":true},)"
      R"({"service":"claude","windowID":"a","usedPercent":1,"at":4,"resetsAt":false,"resetsAt":5},)"
      R"({"service":"claude","windowID":"a","usedPercent":1}, 3, "x", null, {}]})",
      // Left to the general reader.
      R"({"version":1,"entries":[{"service":"claude","windowID":"\u0061","usedPercent":1,"at":2}]})",
      R"({"version":1,"entries":[{"service":"claude","windowID":"창","usedPercent":1,"at":2}]})",
      R"({"version":1,"entries":[{"service":"claude","windowID":"a","usedPercent":1,"at":2,"x":[1]}]})",
      R"({"version":1,"entries":[[{"service":"claude","windowID":"a","usedPercent":1,"at":2}]]})",
      R"({"version":1.0,"entries":[]})",
      R"({"version":99999999999999999999,"entries":[]})",
      R"({"entries":[{"service":"claude","windowID":"a","usedPercent":1,"at":2}]})",
      R"({"version":1,"entries":[],"entries":[]})",
      R"({"version":1,"entries":{},"extra":{"a":[1,2]}})",
      R"({"version":1,"version":"1","entries":[]})",
      R"({"version":1})",
      R"([1])",
      "",
      R"({"version":1,"entries":[{"service":"claude","windowID":"a","usedPercent":01,"at":2}]})",
      R"({"version":1,"entries":[{"service":"claude","windowID":"a","usedPercent":1.,"at":2}]})",
      R"({"version":1,"entries":[{"service":"claude","windowID":"a","usedPercent":+1,"at":2}]})",
      R"({"version":1,"entries":[{"service":"claude","windowID":"a","usedPercent":1,"at":2}]} x)",
      R"({"version":1,"entries":[{"service":"claude","windowID":"a","usedPercent":1,"at":2},]})",
  };
  for (const std::string& body : cases) EXPECT_EQ(fast(body), general(body)) << body;
  EXPECT_EQ(fast(kBody).entries.size(), 2u);

  // Damaged copies of a real body: cut short, or with one byte replaced.
  std::mt19937 random(7);
  const std::string alphabet = "{}[],:\"\\ -.0123456789eEnultrfasx";
  for (int round = 0; round < 3000; ++round) {
    std::string body = kBody;
    const auto at = std::uniform_int_distribution<std::size_t>(0, body.size() - 1)(random);
    if (round % 4 == 0) {
      body.resize(at);
    } else {
      body[at] = alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(random)];
    }
    ASSERT_EQ(fast(body), general(body)) << body;
  }
}
