#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <thread>

#include "TestSandbox.h"
#include "codex/CodexLogReader.h"
#include "model/ISO8601.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const TimePoint kNow = fromEpochSeconds(1788000000);  // 2026-08-29T10:40:00Z

std::string tokenCount(const std::string& timestamp, double primaryPercent, const std::string& limitID = "codex") {
  const json limits = {{"limit_id", limitID},
                       {"primary", {{"used_percent", primaryPercent}, {"window_minutes", 300}}},
                       {"plan_type", "free"}};
  return json{
      {"timestamp", timestamp}, {"type", "event_msg"}, {"payload", {{"type", "token_count"}, {"rate_limits", limits}}}}
      .dump();
}

const std::string kOther = R"({"type":"response_item","payload":{"type":"function_call_output","output":"o"}})";

// Every case runs with the files read on this thread alone (0) and with a helper from the first
// file on (1): the outcome must be the same.
class CodexLogReaderTest : public SandboxedTest, public ::testing::WithParamInterface<std::size_t> {
 protected:
  fs::path home() const { return sandbox.path(".codex"); }

  // A session log with the given lines and modification time.
  fs::path log(const std::string& relative, const std::vector<std::string>& lines, time_t modified) {
    std::string content;
    for (const std::string& line : lines) content += line + "\n";
    const fs::path path = sandbox.writeFile(".codex/sessions/" + relative, QByteArray::fromStdString(content));
    setModified(path, modified);
    return path;
  }

  static void setModified(const fs::path& path, time_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }

  ServiceUsage scan(std::stop_token stop = {}) { return reader.readLocal(home(), stop); }
  double percent() { return scan().window("codex_primary")->usedPercent; }

  std::function<void(const fs::path&)> onOpen;
  CodexLogReader::Opener opener = [this](int folder, const char* name, const fs::path& path) {
    if (onOpen) onOpen(path);
    return ReverseJSONL::openAt(folder, name, path);
  };
  CodexLogReader reader{[] { return kNow; }, opener, GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Threads, CodexLogReaderTest, ::testing::Values(0, 1));

}  // namespace

TEST_P(CodexLogReaderTest, StatusWithoutRecordsDependsOnSignsOfUse) {
  const auto status = [&] { return scan().status; };
  const ProviderStatus noRecords = ProviderStatus::unavailable(CodexLogReader::noRecordsMessage);
  EXPECT_EQ(scan(), ServiceUsage::failure(ServiceID::codex, kNow, ProviderStatus::notSignedIn()));
  // A log without a usable record shows that Codex ran.
  log("2026/09/rollout-a.jsonl", {kOther, "{\"type\":\"event_msg\",\"payload\":"}, 100);
  EXPECT_EQ(status(), noRecords);
  // So does a sign-in without any log.
  fs::remove_all(home() / "sessions");
  sandbox.writeFile(".codex/auth.json", "{}");
  EXPECT_EQ(status(), noRecords);
}

TEST_P(CodexLogReaderTest, OnlyRolloutLogsAreRead) {
  // Each decoy holds a later record than the real log, so reading any of them changes the result.
  const std::vector<std::string> decoy = {tokenCount("2026-09-02T00:00:00Z", 99)};
  for (const char* name : {"xrollout-a.jsonl", "rollout-a.json", "rollout-a.jsonl.bak", "rollout-a.JSONL",
                           ".rollout-hidden.jsonl", ".cache/rollout-in-hidden-folder.jsonl"}) {
    log(name, decoy, 900);
  }
  fs::create_directories(home() / "sessions" / "rollout-folder.jsonl");
  sandbox.writeFile(".codex/rollout-outside-sessions.jsonl", QByteArray::fromStdString(decoy[0]));
  log("2026/09/01/rollout-1.jsonl", {kOther, tokenCount("2026-09-01T07:45:43Z", 12), kOther}, 1);
  EXPECT_EQ(percent(), 12);
}

TEST_P(CodexLogReaderTest, LatestRecordWinsTiesKeepTheNewerFileAndModelBucketsAreSkipped) {
  // The recently modified file holds the older record.
  log("a/rollout-recently-touched.jsonl", {tokenCount("2026-09-01T10:00:00Z", 20)}, 500);
  log("b/rollout-older-file.jsonl", {tokenCount("2026-09-01T11:00:00Z", 30)}, 400);
  EXPECT_EQ(percent(), 30);

  log("c/rollout-tie-newer.jsonl", {tokenCount("2026-09-01T12:00:00Z", 40)}, 300);
  log("d/rollout-tie-older.jsonl", {tokenCount("2026-09-01T12:00:00Z", 50)}, 200);
  EXPECT_EQ(percent(), 40);
  setModified(home() / "sessions/d/rollout-tie-older.jsonl", 350);
  EXPECT_EQ(percent(), 50);

  // A model-specific bucket logged after the main limit does not hide it.
  log("e/rollout-buckets.jsonl",
      {tokenCount("2026-09-02T08:00:00Z", 3), tokenCount("2026-09-02T08:00:01Z", 88, "codex_bengalfox")}, 1000);
  EXPECT_EQ(percent(), 3);
}

TEST_P(CodexLogReaderTest, PlanComesFromABoundedPlainAuthFileAndShowsNoToken) {
  log("rollout-a.jsonl", {tokenCount("2026-09-01T10:00:00Z", 20)}, 100);
  sandbox.writeFile(".codex/auth.json", fixture("codex-auth.json"));
  const ServiceUsage usage = scan();
  EXPECT_EQ(usage.planName, "plus");
  const std::string shown = json{{"windows", usage.windows}, {"metrics", usage.metrics}}.dump();
  for (const char* secret : {"eyJ", "UkVEQUNURUQ", "REFRESH"}) EXPECT_EQ(shown.find(secret), std::string::npos);

  // A damaged, oversized or piped auth file leaves the recorded plan and never blocks.
  const fs::path auth = home() / "auth.json";
  const std::function<void()> spoilers[] = {
      [&] { sandbox.writeFile(".codex/auth.json", "{\"tokens\":"); },
      [&] { sandbox.writeFile(".codex/auth.json", fixture("codex-auth.json") + QByteArray(2 << 20, ' ')); },
      [&] { ASSERT_EQ(::mkfifo(auth.c_str(), 0600), 0); },
  };
  for (const auto& spoil : spoilers) {
    fs::remove(auth);
    spoil();
    auto scanned = std::async(std::launch::async, [&] { return scan(); });
    if (scanned.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      ::close(::open(auth.c_str(), O_WRONLY | O_NONBLOCK));  // lets a reader stuck on the pipe go
      FAIL() << "auth.json #" << &spoil - spoilers << " blocked the scan";
    }
    EXPECT_EQ(scanned.get().planName, "free") << &spoil - spoilers;
  }
}

TEST_P(CodexLogReaderTest, ChangedRemovedAndUnreadableFilesAreNotServedFromTheCache) {
  const fs::path newest = log("rollout-3.jsonl", {kOther, tokenCount("2026-09-01T10:00:00Z", 30)}, 300);
  const fs::path middle = log("rollout-2.jsonl", {tokenCount("2026-09-01T09:00:00Z", 20)}, 200);
  EXPECT_EQ(percent(), 30);
  // Same time, new size.
  log("rollout-3.jsonl", {kOther, tokenCount("2026-09-01T10:00:00Z", 30), tokenCount("2026-09-01T10:05:00Z", 31)}, 300);
  EXPECT_EQ(percent(), 31);
  // Same size, new time.
  log("rollout-2.jsonl", {tokenCount("2026-09-01T11:00:00Z", 21)}, 250);
  EXPECT_EQ(percent(), 21);
  // A removed file's result goes with it.
  fs::remove(middle);
  EXPECT_EQ(percent(), 31);
  // An unreadable file counts as without records, until it changes and reads again.
  onOpen = [](const fs::path&) { throw ReverseJSONL::ReadError("permission denied"); };
  setModified(newest, 350);
  EXPECT_EQ(scan().status.message, CodexLogReader::noRecordsMessage);
  onOpen = nullptr;
  setModified(newest, 360);
  EXPECT_EQ(percent(), 31);
}

// Scans share one cache, so a second scan waits until the first is done with its files.
TEST_P(CodexLogReaderTest, ConcurrentScansRunOneAtATime) {
  log("rollout-1.jsonl", {tokenCount("2026-09-01T10:00:00Z", 7)}, 100);
  std::atomic<int> inside = 0, most = 0;
  onOpen = [&](const fs::path&) {
    most = std::max(most.load(), ++inside);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // long enough for the other to arrive
    --inside;
  };
  ServiceUsage a, b;
  {
    std::jthread one([&] { a = scan(); });
    std::jthread two([&] { b = scan(); });
  }
  EXPECT_EQ(most, 1);
  EXPECT_EQ(a, b);
}

TEST_P(CodexLogReaderTest, EarlyAnswerComesFirstAndALaterRecordInAnOlderFileStillWins) {
  const double base = toEpochSeconds(kNow);
  const auto at = [&](double seconds) { return ISO8601::format(fromEpochSeconds(base + seconds)); };
  std::vector<double> previews;
  const auto scanWithPreview = [&] {
    previews.clear();
    return reader.readLocal(home(), {}, [&](const ServiceUsage& early) {
      previews.push_back(early.window("codex_primary")->usedPercent);
      EXPECT_EQ(early.planName, "plus");  // worded like the final result
    });
  };
  sandbox.writeFile(".codex/auth.json", fixture("codex-auth.json"));
  log("rollout-newest.jsonl", {tokenCount(at(-10), 40)}, static_cast<time_t>(base));
  log("rollout-older.jsonl", {tokenCount(at(-3600), 30)}, static_cast<time_t>(base - 3590));
  // Its modification time was set back after it got the latest record of all.
  const fs::path setBack = log("rollout-set-back.jsonl", {tokenCount(at(-5), 50)}, static_cast<time_t>(base - 7200));

  const ServiceUsage usage = scanWithPreview();
  EXPECT_EQ(previews, std::vector<double>{40});  // before the older files were read
  EXPECT_EQ(usage.window("codex_primary")->usedPercent, 50);
  EXPECT_EQ(usage.planName, "plus");

  // Nothing left to read: no early answer, the scan itself is quick.
  EXPECT_EQ(scanWithPreview().window("codex_primary")->usedPercent, 50);
  EXPECT_TRUE(previews.empty());

  // A record no later than the next file's time (within the margin) is not final yet.
  fs::remove(setBack);
  log("rollout-newest.jsonl", {tokenCount(at(-3589), 41)}, static_cast<time_t>(base + 1));
  log("rollout-older.jsonl", {kOther, tokenCount(at(-3600), 30)}, static_cast<time_t>(base - 3590));
  EXPECT_EQ(scanWithPreview().window("codex_primary")->usedPercent, 41);
  EXPECT_TRUE(previews.empty());
}

TEST_P(CodexLogReaderTest, ALogSwappedForAPipeDuringTheScanIsSkippedWithoutBlocking) {
  log("rollout-1.jsonl", {tokenCount("2026-09-01T08:00:00Z", 10)}, 100);
  const fs::path swapped = log("rollout-2.jsonl", {tokenCount("2026-09-01T09:00:00Z", 20)}, 200);
  // Between the listing and the open, the log becomes a pipe that nobody writes to.
  onOpen = [&](const fs::path& path) {
    if (path != swapped) return;
    fs::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  };
  auto scanned = std::async(std::launch::async, [&] { return scan(); });
  if (scanned.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    ::close(::open(swapped.c_str(), O_WRONLY | O_NONBLOCK));  // lets a reader stuck on the pipe go
    FAIL() << "the pipe blocked the scan";
  }
  EXPECT_EQ(scanned.get().window("codex_primary")->usedPercent, 10);
  // The next scan no longer lists it.
  onOpen = nullptr;
  EXPECT_EQ(percent(), 10);
}

TEST_P(CodexLogReaderTest, ReadsFinishingOutOfOrderGiveTheSerialOutcome) {
  // Random homes with tied time stamps, files without records and modification times set back;
  // some opens are slow, so the helper finishes later files first.
  std::mt19937 random(11);
  const double base = toEpochSeconds(kNow);
  for (int round = 0; round < 8; ++round) {
    fs::remove_all(sandbox.path(".codex"));
    for (int i = 0; i < 24; ++i) {
      const double recorded = base - 60.0 * double(random() % 12);  // many ties
      const double modified = random() % 5 == 0 ? recorded - 3600 : recorded + double(random() % 3);
      std::vector<std::string> lines{tokenCount(ISO8601::format(fromEpochSeconds(recorded)), i)};
      if (random() % 6 == 0) lines = {kOther};
      log("d" + std::to_string(i % 3) + "/rollout-" + std::to_string(i) + ".jsonl", lines,
          static_cast<time_t>(modified));
    }
    const auto scanOnce = [&](CodexLogReader& scanner) {
      std::vector<ServiceUsage> early;
      ServiceUsage usage = scanner.readLocal(home(), {}, [&](const ServiceUsage& e) { early.push_back(e); });
      return std::pair(usage, early);
    };
    CodexLogReader serial([] { return kNow; }, opener, 0);
    const auto expected = scanOnce(serial);
    onOpen = [](const fs::path& path) {
      if (std::hash<std::string>()(path.string()) % 4 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    CodexLogReader scanner([] { return kNow; }, opener, GetParam());
    EXPECT_EQ(scanOnce(scanner), expected) << round;
    onOpen = nullptr;
    EXPECT_EQ(scanner.readLocal(home(), {}), expected.first) << round;
  }
}

TEST_P(CodexLogReaderTest, CancelledScansReportItAndKeepEveryFileReadBeforeIt) {
  constexpr int kFiles = 40;
  std::vector<fs::path> logs;
  for (int i = 0; i < kFiles; ++i) {
    const std::string at = ISO8601::format(fromEpochSeconds(1788000000 + i));
    logs.push_back(log("rollout-" + std::to_string(i) + ".jsonl", {tokenCount(at, i)}, 1000 + i));
  }
  // Newest first: the 21st file read is logs[19].
  std::mutex mutex;
  std::set<fs::path> opened;
  std::stop_source stop;
  onOpen = [&](const fs::path& path) {
    const std::lock_guard lock(mutex);
    opened.insert(path);
    if (path == logs[19]) stop.request_stop();
  };
  std::stop_source before;
  before.request_stop();
  EXPECT_EQ(
      scan(before.get_token()),
      ServiceUsage::failure(ServiceID::codex, kNow, ProviderStatus::unavailable(CodexLogReader::cancelledMessage)));
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(scan(stop.get_token()).status.message, CodexLogReader::cancelledMessage);
  const std::set<fs::path> first = std::exchange(opened, {});
  EXPECT_EQ(percent(), kFiles - 1);
  // Every file is read once, except the one cut short and, with a helper, the one it was reading.
  std::vector<fs::path> twice;
  std::ranges::set_intersection(first, opened, std::back_inserter(twice));
  EXPECT_TRUE(std::ranges::find(twice, logs[19]) != twice.end());
  EXPECT_LE(twice.size(), GetParam() == 0 ? 1u : 2u);
  EXPECT_EQ(first.size() + opened.size() - twice.size(), std::size_t(kFiles));
  opened.clear();
  EXPECT_EQ(percent(), kFiles - 1);
  EXPECT_TRUE(opened.empty());
}

TEST_P(CodexLogReaderTest, LogsInFoldersBeyondTheKeptHandlesAreReadToo) {
  // With 80 descriptors, ten folder handles stay open for the reads; the other folders' logs are
  // opened by their path. Each log in turn gets the latest record.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = std::min<rlim_t>(80, saved.rlim_cur);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  for (int turn = 0; turn < 20; ++turn) {
    for (int i = 0; i < 20; ++i) {
      const std::string at = i == turn ? "2026-09-02T00:00:00Z" : "2026-09-01T00:00:00Z";
      log("2026/09/" + std::to_string(10 + i) + "/rollout-" + std::to_string(i) + ".jsonl", {tokenCount(at, i)},
          100 + turn);
    }
    EXPECT_EQ(percent(), turn);
  }
  ::setrlimit(RLIMIT_NOFILE, &saved);
}
