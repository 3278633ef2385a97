#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "CodexLogReader.h"
#include "CodexUsageProvider.h"
#include "TestSandbox.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const TimePoint kNow = fromEpochSeconds(1788000000);  // 2026-08-29T10:40:00Z
const std::string kNoRecords = "Codex 사용량 기록이 없어요. Codex를 한 번 실행한 뒤 새로고침하세요";
const std::string kCancelled = "사용량 갱신을 취소했어요";
const std::string kIdTokenSignature = "U0VDUkVULVNJR05BVFVSRQ";
const std::string kRefreshToken = "rt.1.SECRET-REFRESH";

std::string tokenCount(const std::string& timestamp, double primaryPercent, const json& limitID = "codex",
                       const json& plan = "plus") {
  const json limits = {
      {"limit_id", limitID},
      {"limit_name", limitID == "codex" ? json(nullptr) : json("GPT-5.6-Sol")},
      {"primary", {{"used_percent", primaryPercent}, {"window_minutes", 300}, {"resets_at", 1788265323}}},
      {"secondary", {{"used_percent", 55.0}, {"window_minutes", 10080}, {"resets_at", 1788765541}}},
      {"credits", nullptr},
      {"plan_type", plan}};
  return json{{"timestamp", timestamp},
              {"type", "event_msg"},
              {"payload", {{"type", "token_count"}, {"info", nullptr}, {"rate_limits", limits}}}}
      .dump();
}

std::string otherLine(int n) {
  return json{{"timestamp", "2026-09-01T07:22:09.120Z"},
              {"type", "response_item"},
              {"payload", {{"type", "function_call_output"}, {"call_id", n}, {"output", std::string(200, 'o')}}}}
      .dump();
}

std::string authFor(const std::string& plan) {
  const json claims = {{"https://api.openai.com/auth", {{"chatgpt_plan_type", plan}}}};
  const QByteArray middle =
      QByteArray::fromStdString(claims.dump()).toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
  return json{{"tokens",
               {{"id_token", "eyJhbGciOiJub25lIn0." + middle.toStdString() + "." + kIdTokenSignature},
                {"refresh_token", kRefreshToken}}}}
      .dump();
}

class CodexLogReaderTest : public SandboxedTest {
 protected:
  CodexLogReaderTest()
      : reader([] { return kNow; },
               [this](const fs::path& path) {
                 const std::lock_guard lock(openedMutex);
                 opened.push_back(path);
                 if (onOpen) onOpen(path);
                 return ReverseJSONL::openFile(path);
               }) {}

  fs::path home() const { return sandbox.path(".codex"); }

  // A session log with the given lines (each followed by a newline) and modification time.
  fs::path log(const std::string& relative, const std::vector<std::string>& lines, double modified) {
    std::string content;
    for (const std::string& line : lines) content += line + "\n";
    const fs::path path = sandbox.writeFile(".codex/sessions/" + relative, QByteArray::fromStdString(content));
    setModified(path, modified);
    return path;
  }

  static void setModified(const fs::path& path, double seconds) {
    const timespec time{static_cast<time_t>(seconds), 0};
    const timespec times[2] = {time, time};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }

  static void append(const fs::path& path, const std::string& line, double modified) {
    QFile file(QString::fromStdString(path.string()));
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(QByteArray::fromStdString(line + "\n"));
    file.close();
    setModified(path, modified);
  }

  ServiceUsage scan(std::stop_token stop = {}) { return reader.readLocal(home(), stop); }

  std::vector<fs::path> takeOpened() {
    const std::lock_guard lock(openedMutex);
    return std::exchange(opened, {});
  }

  std::mutex openedMutex;
  std::vector<fs::path> opened;
  std::function<void(const fs::path&)> onOpen;
  CodexLogReader reader;
};

double primaryPercent(const ServiceUsage& usage) { return usage.window("codex_primary")->usedPercent; }

}  // namespace

TEST_F(CodexLogReaderTest, StatusWithoutRecordsDependsOnSignsOfUse) {
  const auto expectStatus = [&](const ProviderStatus& status) {
    const ServiceUsage usage = scan();
    EXPECT_EQ(usage, ServiceUsage::failure(ServiceID::codex, kNow, status));
  };
  expectStatus(ProviderStatus::notSignedIn());
  fs::create_directories(home() / "sessions" / "2026" / "09");
  expectStatus(ProviderStatus::notSignedIn());

  // A log without a usable record shows that Codex ran.
  const fs::path empty = log("2026/09/rollout-a.jsonl", {otherLine(1), "{\"type\":\"event_msg\",\"payload\":"}, 100);
  expectStatus(ProviderStatus::unavailable(kNoRecords));
  fs::remove(empty);
  expectStatus(ProviderStatus::notSignedIn());

  sandbox.writeFile(".codex/auth.json", "{}");
  expectStatus(ProviderStatus::unavailable(kNoRecords));
  fs::remove_all(home() / "sessions");
  expectStatus(ProviderStatus::unavailable(kNoRecords));
}

TEST_F(CodexLogReaderTest, OnlyRolloutLogsAreRead) {
  const std::vector<std::string> decoy = {tokenCount("2026-09-02T00:00:00Z", 99)};
  log("xrollout-a.jsonl", decoy, 900);
  log("rollout-a.json", decoy, 900);
  log("rollout-a.jsonl.bak", decoy, 900);
  log("rollout-a.JSONL", decoy, 900);
  log(".rollout-hidden.jsonl", decoy, 900);
  log(".cache/rollout-in-hidden-folder.jsonl", decoy, 900);
  fs::create_directories(home() / "sessions" / "rollout-folder.jsonl");
  sandbox.writeFile(".codex/rollout-outside-sessions.jsonl", QByteArray::fromStdString(decoy[0]));
  const fs::path real = log("2026/09/01/rollout-2026-09-01T07-21-58-01a0.jsonl",
                            {otherLine(1), tokenCount("2026-09-01T07:45:43.552Z", 12), otherLine(2)}, 100);

  const ServiceUsage usage = scan();
  ASSERT_TRUE(usage.status.isOk());
  EXPECT_EQ(primaryPercent(usage), 12);
  EXPECT_EQ(takeOpened(), std::vector<fs::path>{real});
}

TEST_F(CodexLogReaderTest, LatestRecordWinsAndTiesKeepNewerFile) {
  // The recently modified file holds the older record.
  log("a/rollout-recently-touched.jsonl", {tokenCount("2026-09-01T10:00:00Z", 20)}, 500);
  log("b/rollout-older-file.jsonl", {tokenCount("2026-09-01T11:00:00Z", 30)}, 400);
  ServiceUsage usage = scan();
  EXPECT_EQ(primaryPercent(usage), 30);
  EXPECT_DOUBLE_EQ(toEpochSeconds(usage.fetchedAt), 1788260400);

  log("c/rollout-tie-newer.jsonl", {tokenCount("2026-09-01T12:00:00Z", 40)}, 300);
  log("d/rollout-tie-older.jsonl", {tokenCount("2026-09-01T12:00:00Z", 50)}, 200);
  EXPECT_EQ(primaryPercent(scan()), 40);
  setModified(home() / "sessions/d/rollout-tie-older.jsonl", 350);
  EXPECT_EQ(primaryPercent(scan()), 50);
}

TEST_F(CodexLogReaderTest, RealLogsAndModelBuckets) {
  sandbox.writeFile(".codex/sessions/2025/11/18/rollout-older.jsonl", fixture("codex-rollout-older.jsonl"));
  sandbox.writeFile(".codex/sessions/2026/09/01/rollout-recent.jsonl", fixture("codex-rollout-recent.jsonl"));
  setModified(home() / "sessions/2025/11/18/rollout-older.jsonl", 900);
  setModified(home() / "sessions/2026/09/01/rollout-recent.jsonl", 100);
  ServiceUsage usage = scan();
  EXPECT_EQ(primaryPercent(usage), 100);
  EXPECT_EQ(usage.planName, "plus");

  // A model-specific bucket logged after the main limit does not hide it.
  log("2026/09/02/rollout-buckets.jsonl",
      {tokenCount("2026-09-02T08:00:00Z", 3), tokenCount("2026-09-02T08:00:01Z", 88, "codex_bengalfox")}, 1000);
  usage = scan();
  EXPECT_EQ(primaryPercent(usage), 3);
  EXPECT_DOUBLE_EQ(toEpochSeconds(usage.fetchedAt), 1788336000);
}

TEST_F(CodexLogReaderTest, PlanFromAuthReplacesRecordedPlan) {
  log("rollout-a.jsonl", {tokenCount("2026-09-01T10:00:00Z", 20, "codex", "plus")}, 100);
  EXPECT_EQ(scan().planName, "plus");

  sandbox.writeFile(".codex/auth.json", QByteArray::fromStdString(authFor("pro")));
  const ServiceUsage usage = scan();
  EXPECT_EQ(usage.planName, "pro");
  // Nothing of the tokens reaches the result.
  const std::string shown =
      json{{"plan", *usage.planName}, {"windows", usage.windows}, {"metrics", usage.metrics}}.dump();
  EXPECT_EQ(shown.find(kIdTokenSignature), std::string::npos);
  EXPECT_EQ(shown.find("SECRET"), std::string::npos);
  EXPECT_EQ(shown.find("eyJ"), std::string::npos);

  sandbox.writeFile(".codex/auth.json", "{\"tokens\":");
  EXPECT_EQ(scan().planName, "plus");
}

TEST_F(CodexLogReaderTest, OnlyChangedFilesAreReadAgain) {
  const fs::path newest = log("rollout-3.jsonl", {otherLine(1), tokenCount("2026-09-01T10:00:00Z", 30)}, 300);
  const fs::path middle = log("rollout-2.jsonl", {tokenCount("2026-09-01T09:00:00Z", 20)}, 200);
  const fs::path oldest = log("rollout-1.jsonl", {otherLine(1)}, 100);
  const ServiceUsage first = scan();
  EXPECT_EQ(takeOpened(), (std::vector<fs::path>{newest, middle, oldest}));

  EXPECT_EQ(scan(), first);
  EXPECT_TRUE(takeOpened().empty());

  append(newest, tokenCount("2026-09-01T10:05:00Z", 31), 300);  // same time, new size
  EXPECT_EQ(primaryPercent(scan()), 31);
  EXPECT_EQ(takeOpened(), std::vector<fs::path>{newest});

  setModified(oldest, 150);  // same size, new time
  scan();
  EXPECT_EQ(takeOpened(), std::vector<fs::path>{oldest});

  // A removed file's result goes with it.
  fs::remove(newest);
  EXPECT_EQ(primaryPercent(scan()), 20);
  EXPECT_TRUE(takeOpened().empty());
  log("rollout-3.jsonl", {otherLine(1), tokenCount("2026-09-01T10:00:00Z", 30)}, 300);
  EXPECT_EQ(primaryPercent(scan()), 30);
  EXPECT_EQ(takeOpened(), std::vector<fs::path>{newest});
}

TEST_F(CodexLogReaderTest, UnreadableFileCountsAsWithoutRecords) {
  const fs::path broken = log("rollout-2.jsonl", {tokenCount("2026-09-01T11:00:00Z", 80)}, 200);
  log("rollout-1.jsonl", {tokenCount("2026-09-01T10:00:00Z", 10)}, 100);
  onOpen = [&](const fs::path& path) {
    if (path == broken) throw ReverseJSONL::ReadError("permission denied");
  };
  EXPECT_EQ(primaryPercent(scan()), 10);
  takeOpened();
  EXPECT_EQ(primaryPercent(scan()), 10);
  EXPECT_TRUE(takeOpened().empty());  // remembered until it changes
}

TEST_F(CodexLogReaderTest, CancellationKeepsFilesCompletedBefore) {
  const fs::path first = log("rollout-3.jsonl", {tokenCount("2026-09-01T10:00:00Z", 30)}, 300);
  const fs::path second = log("rollout-2.jsonl", {tokenCount("2026-09-01T09:00:00Z", 20)}, 200);
  const fs::path third = log("rollout-1.jsonl", {tokenCount("2026-09-01T08:00:00Z", 10)}, 100);

  std::stop_source cancelled;
  cancelled.request_stop();
  EXPECT_EQ(scan(cancelled.get_token()),
            ServiceUsage::failure(ServiceID::codex, kNow, ProviderStatus::unavailable(kCancelled)));
  EXPECT_TRUE(takeOpened().empty());

  std::stop_source source;
  onOpen = [&](const fs::path& path) {
    if (path == second) source.request_stop();
  };
  EXPECT_EQ(scan(source.get_token()).status, ProviderStatus::unavailable(kCancelled));
  EXPECT_EQ(takeOpened(), (std::vector<fs::path>{first, second}));

  onOpen = nullptr;
  EXPECT_EQ(primaryPercent(scan()), 30);
  EXPECT_EQ(takeOpened(), (std::vector<fs::path>{second, third}));
}

TEST_F(CodexLogReaderTest, ConcurrentScansShareOneCache) {
  for (int i = 0; i < 20; ++i) {
    log("rollout-" + std::to_string(i) + ".jsonl", {tokenCount("2026-09-01T10:00:00Z", i), otherLine(i)}, 100 + i);
  }
  ServiceUsage a, b;
  {
    std::jthread one([&] { a = scan(); });
    std::jthread two([&] { b = scan(); });
  }
  EXPECT_EQ(a, b);
  EXPECT_EQ(primaryPercent(a), 19);
  EXPECT_EQ(takeOpened().size(), 20u);  // the second scan found everything cached
}

TEST_F(CodexLogReaderTest, ProviderUsesCodexHome) {
  EXPECT_EQ(CodexUsageProvider().root(), sandbox.home() / ".codex");
  sandbox.setEnv("CODEX_HOME", QFile::encodeName(QString::fromStdString(sandbox.path("elsewhere").string())));
  const CodexUsageProvider provider;
  EXPECT_EQ(provider.root(), sandbox.path("elsewhere"));
  EXPECT_EQ(provider.service(), ServiceID::codex);

  sandbox.writeFile("elsewhere/sessions/rollout-x.jsonl",
                    QByteArray::fromStdString(tokenCount("2026-09-01T10:00:00Z", 42)));
  CodexUsageProvider live;
  const ServiceUsage usage = live.fetch({});
  EXPECT_EQ(usage.service, ServiceID::codex);
  EXPECT_EQ(primaryPercent(usage), 42);
}
