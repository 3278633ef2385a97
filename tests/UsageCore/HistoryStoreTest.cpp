#include <sys/stat.h>

#include <QFile>
#include <QThreadPool>
#include <cmath>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>

#include "EventLoop.h"
#include "HistoryFile.h"
#include "HistoryStore.h"
#include "TestSandbox.h"

namespace fs = std::filesystem;
using Snapshot = HistoryStore::Snapshot;

namespace {

constexpr double t0 = 1763400000;
constexpr double day = 86400;

HistoryEntry sample(const std::string& window, double percent, double at, std::optional<double> resetsAt = std::nullopt,
                    ServiceID service = ServiceID::claude) {
  HistoryEntry entry;
  entry.service = service;
  entry.windowID = window;
  entry.usedPercent = percent;
  entry.at = fromEpochSeconds(at);
  if (resetsAt) entry.resetsAt = fromEpochSeconds(*resetsAt);
  return entry;
}

std::vector<HistoryEntry> seriesOf(const Snapshot& snapshot, const std::string& window,
                                   ServiceID service = ServiceID::claude) {
  const auto it = snapshot.entries.find(HistoryKey{service, window});
  return it == snapshot.entries.end() ? std::vector<HistoryEntry>{} : it->second;
}

std::vector<double> timesOf(const std::vector<HistoryEntry>& series) {
  std::vector<double> times;
  for (const auto& entry : series) times.push_back(toEpochSeconds(entry.at));
  return times;
}

unsigned modeOf(const fs::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0xFFFF;
  return info.st_mode & 07777;
}

std::string readText(const fs::path& path) {
  QFile file(QString::fromStdString(path.string()));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

nlohmann::json element(const char* service, const char* window, double percent, double at) {
  return {{"service", service}, {"windowID", window}, {"usedPercent", percent}, {"at", at}};
}

}  // namespace

class HistoryStoreTest : public SandboxedTest {
 protected:
  fs::path folder() const { return sandbox.path(".local/share/Quotabox"); }
  fs::path file() const { return folder() / "history.json"; }

  void writeHistory(const std::string& body) const {
    sandbox.writeFile(".local/share/Quotabox/history.json", QByteArray::fromStdString(body));
  }
  void writeElements(const nlohmann::json& elements, long long version = 1) const {
    writeHistory(nlohmann::json{{"version", version}, {"entries", elements}}.dump());
  }

  std::vector<std::string> backupNames() const {
    std::vector<std::string> names;
    for (const auto& path : HistoryFile::corruptBackups(file())) names.push_back(path.filename().string());
    return names;
  }

  static Snapshot record(HistoryStore& store, std::vector<HistoryEntry> entries, double now) {
    return awaitFuture(store.record(std::move(entries), fromEpochSeconds(now)));
  }
  static Snapshot load(HistoryStore& store, double now) { return awaitFuture(store.load(fromEpochSeconds(now))); }

  HistoryStore memoryStore{std::nullopt};
};

// Thinning of incoming samples.

TEST_F(HistoryStoreTest, MinimumGapWinsOverAnyChange) {
  record(memoryStore, {sample("five_hour", 10, t0)}, t0);
  auto snapshot = record(memoryStore, {sample("five_hour", 50, t0 + 59)}, t0 + 59);
  EXPECT_EQ(timesOf(seriesOf(snapshot, "five_hour")), std::vector<double>{t0});

  snapshot = record(memoryStore, {sample("five_hour", 10.005, t0 + 60)}, t0 + 60);
  EXPECT_EQ(timesOf(seriesOf(snapshot, "five_hour")), (std::vector<double>{t0, t0 + 60}));

  // A change below 0.005 points is flat; a fall counts like a rise.
  snapshot = record(memoryStore, {sample("five_hour", 10.001, t0 + 120)}, t0 + 120);
  EXPECT_EQ(seriesOf(snapshot, "five_hour").size(), 2u);
  snapshot = record(memoryStore, {sample("five_hour", 9.9, t0 + 180)}, t0 + 180);
  EXPECT_EQ(seriesOf(snapshot, "five_hour").back().usedPercent, 9.9);
}

TEST_F(HistoryStoreTest, FlatValueIsStoredAsHeartbeatAfterTenMinutes) {
  record(memoryStore, {sample("seven_day", 30, t0)}, t0);
  auto snapshot = record(memoryStore, {sample("seven_day", 30, t0 + 599)}, t0 + 599);
  EXPECT_EQ(seriesOf(snapshot, "seven_day").size(), 1u);
  snapshot = record(memoryStore, {sample("seven_day", 30, t0 + 600)}, t0 + 600);
  EXPECT_EQ(timesOf(seriesOf(snapshot, "seven_day")), (std::vector<double>{t0, t0 + 600}));
}

TEST_F(HistoryStoreTest, FlatValueIsStoredWhenTheResetMovesMoreThanFiveMinutes) {
  const double reset = t0 + 3600;
  record(memoryStore, {sample("five_hour", 40, t0, reset)}, t0);
  auto snapshot = record(memoryStore, {sample("five_hour", 40, t0 + 120, reset + 300)}, t0 + 120);
  EXPECT_EQ(seriesOf(snapshot, "five_hour").size(), 1u);
  snapshot = record(memoryStore, {sample("five_hour", 40, t0 + 120, reset + 301)}, t0 + 120);
  EXPECT_EQ(seriesOf(snapshot, "five_hour").size(), 2u);

  // Without a reset time on either side the rule does not apply.
  HistoryStore store(std::nullopt);
  record(store, {sample("seven_day", 40, t0)}, t0);
  snapshot = record(store, {sample("seven_day", 40, t0 + 120, reset + 9999)}, t0 + 120);
  EXPECT_EQ(seriesOf(snapshot, "seven_day").size(), 1u);
  record(store, {sample("codex_primary", 40, t0, reset, ServiceID::codex)}, t0);
  snapshot = record(store, {sample("codex_primary", 40, t0 + 120, std::nullopt, ServiceID::codex)}, t0 + 120);
  EXPECT_EQ(seriesOf(snapshot, "codex_primary", ServiceID::codex).size(), 1u);
}

TEST_F(HistoryStoreTest, RejectsSamplesOutsideTheTimeLimits) {
  const double now = t0 + 20 * day;
  auto snapshot =
      record(memoryStore,
             {sample("five_hour", 1, now + 61), sample("seven_day", 1, now + 60),
              sample("seven_day_opus", 1, now - 14 * day - 1), sample("seven_day_sonnet", 1, now - 14 * day)},
             now);
  EXPECT_TRUE(seriesOf(snapshot, "five_hour").empty());
  EXPECT_EQ(seriesOf(snapshot, "seven_day").size(), 1u);
  EXPECT_TRUE(seriesOf(snapshot, "seven_day_opus").empty());
  EXPECT_EQ(seriesOf(snapshot, "seven_day_sonnet").size(), 1u);
  // Pruning is inclusive at both ends and then moves on with the clock.
  snapshot = load(memoryStore, now + 1);
  EXPECT_TRUE(seriesOf(snapshot, "seven_day_sonnet").empty());
  EXPECT_EQ(seriesOf(snapshot, "seven_day").size(), 1u);
}

TEST_F(HistoryStoreTest, ClampsPercentagesAndSkipsUnrecordableSamples) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  auto snapshot = record(memoryStore,
                         {sample("five_hour", 130, t0), sample("seven_day", -5, t0), sample("seven_day_opus", nan, t0),
                          sample("seven_day_sonnet", inf, t0), sample("seven_day_cowork", 5, nan),
                          sample("seven_day_oauth_apps", 5, t0, nan), sample("seven_day_special", 5, t0),
                          sample("codex_secondary", 5, t0, t0 + 10, ServiceID::codex)},
                         t0);
  EXPECT_EQ(seriesOf(snapshot, "five_hour").at(0).usedPercent, 100);
  EXPECT_EQ(seriesOf(snapshot, "seven_day").at(0).usedPercent, 0);
  EXPECT_EQ(snapshot.entries.size(), 3u);
  EXPECT_EQ(seriesOf(snapshot, "codex_secondary", ServiceID::codex).size(), 1u);
}

TEST_F(HistoryStoreTest, SortsTheIncomingBatchAndNeverGoesBackInTime) {
  auto snapshot = record(memoryStore, {sample("five_hour", 20, t0 + 120), sample("five_hour", 10, t0)}, t0 + 120);
  EXPECT_EQ(timesOf(seriesOf(snapshot, "five_hour")), (std::vector<double>{t0, t0 + 120}));
  snapshot = record(memoryStore, {sample("five_hour", 70, t0 + 60)}, t0 + 200);
  EXPECT_EQ(seriesOf(snapshot, "five_hour").size(), 2u);
}

TEST_F(HistoryStoreTest, VersionGrowsOnlyWithChangesAndNeverFalls) {
  const auto first = record(memoryStore, {sample("five_hour", 10, t0)}, t0);
  EXPECT_EQ(record(memoryStore, {sample("five_hour", 10, t0 + 10)}, t0 + 10).version, first.version);
  const auto cleared = awaitFuture(memoryStore.clear());
  EXPECT_GT(cleared.version, first.version);
  EXPECT_TRUE(cleared.entries.empty());
  const auto again = record(memoryStore, {sample("five_hour", 10, t0 + 20)}, t0 + 20);
  EXPECT_GT(again.version, cleared.version);
  // Several queued calls finish in the order they were made.
  std::vector<QFuture<Snapshot>> futures;
  for (int i = 1; i <= 20; ++i) {
    futures.push_back(
        memoryStore.record({sample("seven_day", i, t0 + 20 + 60 * i)}, fromEpochSeconds(t0 + 20 + 60 * i)));
  }
  long long previous = again.version;
  for (auto& future : futures) {
    const auto snapshot = awaitFuture(future);
    EXPECT_EQ(snapshot.version, previous + 1);
    previous = snapshot.version;
  }
}

TEST_F(HistoryStoreTest, MemoryOnlyStoreTouchesNoFiles) {
  record(memoryStore, {sample("five_hour", 10, t0)}, t0);
  load(memoryStore, t0 + 100);
  awaitFuture(memoryStore.clear());
  EXPECT_FALSE(memoryStore.clearFailed());
  EXPECT_FALSE(memoryStore.fileURL().has_value());
  EXPECT_TRUE(fs::is_empty(sandbox.home()));
}

TEST_F(HistoryStoreTest, DefaultLocationIsInTheUserDataFolder) {
  EXPECT_EQ(HistoryStore::defaultFileURL(), file());
  HistoryStore store(HistoryStore::defaultFileURL());
  EXPECT_EQ(store.fileURL(), file());
  // Construction does no I/O.
  EXPECT_FALSE(fs::exists(folder()));
}

// Persisting.

TEST_F(HistoryStoreTest, WritesCompactOrderedJsonThatReadsBackExactly) {
  HistoryStore store(file());
  const double fine = 1763400000.123456789;
  record(store,
         {sample("codex_primary", 5, fine, std::nullopt, ServiceID::codex), sample("seven_day", 7.25, fine, fine + 3.5),
          sample("five_hour", 1.0 / 3.0, fine), sample("five_hour", 2, fine + 61)},
         fine + 61);
  const std::string text = readText(file());
  EXPECT_EQ(text.find_first_of(" \n"), std::string::npos);
  const auto json = nlohmann::json::parse(text);
  EXPECT_EQ(json.at("version"), 1);
  ASSERT_EQ(json.at("entries").size(), 4u);
  std::vector<std::string> order;
  for (const auto& e : json.at("entries"))
    order.push_back(e.at("service").get<std::string>() + "." + e.at("windowID").get<std::string>());
  EXPECT_EQ(order, (std::vector<std::string>{"claude.five_hour", "claude.five_hour", "claude.seven_day",
                                             "codex.codex_primary"}));
  EXPECT_FALSE(json["entries"][0].contains("resetsAt"));
  EXPECT_TRUE(json["entries"][2].contains("resetsAt"));

  HistoryStore fresh(file());
  const auto snapshot = load(fresh, fine + 61);
  EXPECT_EQ(seriesOf(snapshot, "five_hour").at(0).usedPercent, 1.0 / 3.0);
  EXPECT_EQ(seriesOf(snapshot, "five_hour").at(0).at, fromEpochSeconds(fine));
  EXPECT_EQ(seriesOf(snapshot, "seven_day").at(0), sample("seven_day", 7.25, fine, fine + 3.5));
  EXPECT_EQ(snapshot.entries.size(), 3u);
}

TEST_F(HistoryStoreTest, CreatesPrivateFolderAndFileAndLeavesNoTemporaryFile) {
  HistoryStore store(file());
  record(store, {sample("five_hour", 10, t0)}, t0);
  EXPECT_EQ(modeOf(folder()), 0700u);
  EXPECT_EQ(modeOf(file()), 0600u);
  // The folders above ours keep their own modes.
  EXPECT_EQ(modeOf(folder().parent_path()) & 0700u, 0700u);
  EXPECT_NE(modeOf(folder().parent_path()), 0xFFFFu);
  for (const auto& item : fs::directory_iterator(folder())) EXPECT_EQ(item.path().filename(), "history.json");
}

TEST_F(HistoryStoreTest, LoadOnlyRemovesPermissionBits) {
  writeElements(nlohmann::json::array({element("claude", "five_hour", 3, t0)}));
  fs::permissions(folder(), fs::perms(0755));
  fs::permissions(file(), fs::perms(0644));
  HistoryStore store(file());
  load(store, t0);
  EXPECT_EQ(modeOf(folder()), 0700u);
  EXPECT_EQ(modeOf(file()), 0600u);

  const auto readOnly = sandbox.writeFile("other", "x");
  fs::permissions(readOnly, fs::perms(0440));
  EXPECT_FALSE(HistoryFile::restrictPermissions(readOnly, fs::perms::owner_read | fs::perms::owner_write));
  EXPECT_EQ(modeOf(readOnly), 0400u);
  EXPECT_TRUE(HistoryFile::restrictPermissions(sandbox.path("missing"), fs::perms::owner_all));
}

TEST_F(HistoryStoreTest, FailedWriteIsRetriedAtTheNextPersist) {
  // A file where the folder should be makes the write fail.
  const auto blocker = sandbox.writeFile("blocked", "not a folder");
  const fs::path target = blocker / "history.json";
  HistoryStore store(target);
  const auto snapshot = record(store, {sample("five_hour", 10, t0)}, t0);
  EXPECT_EQ(seriesOf(snapshot, "five_hour").size(), 1u);
  EXPECT_FALSE(fs::exists(target));

  fs::remove(blocker);
  // Nothing new is stored, but the pending content is written now.
  record(store, {}, t0 + 1);
  const auto json = nlohmann::json::parse(readText(target));
  EXPECT_EQ(json.at("entries").size(), 1u);
}

// Loading.

TEST_F(HistoryStoreTest, LossyLoadSkipsBadElementsAndRewritesTheFile) {
  auto elements =
      nlohmann::json::array({element("claude", "five_hour", 10, t0), element("gemini", "five_hour", 10, t0 + 60),
                             element("codex", "codex_primary", 20, t0)});
  elements.push_back({{"service", "claude"}, {"windowID", "seven_day"}, {"at", t0}});
  elements.push_back({{"service", "claude"}, {"windowID", "seven_day"}, {"usedPercent", "12"}, {"at", t0}});
  elements.push_back({{"service", "claude"}, {"windowID", "seven_day"}, {"usedPercent", true}, {"at", t0}});
  elements.push_back(element("claude", "seven_day_unknown", 10, t0));
  elements.push_back(element("claude", "seven_day", 150, t0 + 5));
  elements.push_back(42);
  writeElements(elements);

  HistoryStore store(file());
  const auto snapshot = load(store, t0 + 100);
  EXPECT_EQ(snapshot.entries.size(), 3u);
  EXPECT_EQ(seriesOf(snapshot, "seven_day").at(0).usedPercent, 100);
  EXPECT_TRUE(backupNames().empty());

  const auto rewritten = nlohmann::json::parse(readText(file()));
  ASSERT_EQ(rewritten.at("entries").size(), 3u);
  EXPECT_EQ(rewritten["entries"][1]["windowID"], "seven_day");
  EXPECT_EQ(rewritten["entries"][1]["usedPercent"], 100);
}

TEST_F(HistoryStoreTest, EqualTimesInASeriesKeepTheFirstAfterSorting) {
  writeElements(
      nlohmann::json::array({element("claude", "five_hour", 1, t0 + 60), element("claude", "five_hour", 2, t0),
                             element("claude", "five_hour", 3, t0 + 60), element("claude", "five_hour", 4, t0)}));
  HistoryStore store(file());
  const auto series = seriesOf(load(store, t0 + 60), "five_hour");
  ASSERT_EQ(series.size(), 2u);
  EXPECT_EQ(series[0].usedPercent, 2);
  EXPECT_EQ(series[1].usedPercent, 1);
}

TEST_F(HistoryStoreTest, PrunesOnLoadToRetentionAndToFourThousandPerSeries) {
  auto elements = nlohmann::json::array();
  for (int i = 0; i < 4001; ++i) elements.push_back(element("claude", "five_hour", i % 100, t0 + 60.0 * i));
  elements.push_back(element("codex", "codex_primary", 1, t0 - 15 * day));
  elements.push_back(element("codex", "codex_secondary", 1, t0 + 4001 * 60 + 61));
  writeElements(elements);

  HistoryStore store(file());
  const double now = t0 + 4000 * 60;
  const auto snapshot = load(store, now);
  const auto series = seriesOf(snapshot, "five_hour");
  ASSERT_EQ(series.size(), 4000u);
  EXPECT_EQ(toEpochSeconds(series.front().at), t0 + 60);
  EXPECT_EQ(toEpochSeconds(series.back().at), now);
  EXPECT_EQ(snapshot.entries.size(), 1u);
  EXPECT_EQ(nlohmann::json::parse(readText(file())).at("entries").size(), 4000u);
}

TEST_F(HistoryStoreTest, QuarantinesFilesThatAreNotAVersionOneHistory) {
  const std::vector<std::string> bodies = {R"({"version":2,"entries":[]})",
                                           "not json",
                                           R"({"version":1.0,"entries":[]})",
                                           R"({"version":"1","entries":[]})",
                                           R"({"version":1,"entries":{}})",
                                           R"({"entries":[]})",
                                           R"([1,2])",
                                           ""};
  for (const auto& body : bodies) {
    SCOPED_TRACE(body);
    TestSandbox local;
    const fs::path path = local.writeFile("history.json", QByteArray::fromStdString(body));
    HistoryStore store(path);
    const auto snapshot = awaitFuture(store.load(fromEpochSeconds(t0 + 0.9)));
    EXPECT_TRUE(snapshot.entries.empty());
    const fs::path backup = local.path("history.json.corrupt-" + std::to_string(static_cast<long long>(t0)));
    EXPECT_EQ(readText(backup), body);
    EXPECT_EQ(modeOf(backup), 0600u);
    EXPECT_FALSE(fs::exists(path));
  }
}

TEST_F(HistoryStoreTest, QuarantineCountsUpAndKeepsTheNewestThree) {
  const auto stamp = [](double t) { return "history.json.corrupt-" + std::to_string(static_cast<long long>(t)); };
  for (double t : {t0 - 30, t0 - 20, t0 - 10, t0}) sandbox.writeFile(".local/share/Quotabox/" + stamp(t), "old");
  writeHistory(R"({"version":2,"entries":[]})");

  HistoryStore store(file());
  load(store, t0);
  EXPECT_EQ(backupNames(), (std::vector<std::string>{stamp(t0 - 10), stamp(t0), stamp(t0 + 1)}));
  EXPECT_EQ(readText(folder() / stamp(t0 + 1)), R"({"version":2,"entries":[]})");
  // The store goes on with an empty history and writes a fresh file once there is something.
  record(store, {sample("five_hour", 10, t0)}, t0);
  EXPECT_EQ(nlohmann::json::parse(readText(file())).at("entries").size(), 1u);
}

TEST_F(HistoryStoreTest, OversizedFileIsQuarantinedUnread) {
  const std::string body = nlohmann::json{{"version", 1}, {"entries", {element("claude", "five_hour", 1, t0)}}}.dump();
  HistoryStore::Policy policy;
  policy.maxFileBytes = static_cast<long long>(body.size());
  writeHistory(body);
  {
    HistoryStore store(file(), policy);
    EXPECT_EQ(load(store, t0).entries.size(), 1u);
  }
  writeHistory(body + " ");
  HistoryStore store(file(), policy);
  EXPECT_TRUE(load(store, t0).entries.empty());
  EXPECT_EQ(backupNames().size(), 1u);
}

TEST_F(HistoryStoreTest, BackupMaintenanceDropsOutOfRangeStamps) {
  const auto backup = [&](const std::string& suffix) {
    const auto path = sandbox.writeFile(".local/share/Quotabox/history.json.corrupt-" + suffix, "x");
    fs::permissions(path, fs::perms(0644));
    return path;
  };
  const auto kept = backup(std::to_string(static_cast<long long>(t0 - 13 * day)));
  const auto fraction = backup(std::to_string(static_cast<long long>(t0)) + ".5");
  const auto expired = backup(std::to_string(static_cast<long long>(t0 - 14 * day - 1)));
  const auto future = backup(std::to_string(static_cast<long long>(t0 + 61)));
  const auto garbage = backup("abc");
  const auto unrelated = sandbox.writeFile(".local/share/Quotabox/notes.corrupt-1", "x");

  HistoryStore store(file());
  load(store, t0);
  EXPECT_EQ(modeOf(kept), 0600u);
  EXPECT_EQ(modeOf(fraction), 0600u);
  EXPECT_FALSE(fs::exists(expired));
  EXPECT_FALSE(fs::exists(future));
  EXPECT_FALSE(fs::exists(garbage));
  EXPECT_TRUE(fs::exists(unrelated));
}

TEST_F(HistoryStoreTest, UnreadableHistoryIsNeverOverwritten) {
  // A folder and a pipe at the history path both fail to read; neither may hang or be replaced.
  fs::create_directories(file() / "inner");
  HistoryStore store(file());
  auto snapshot = record(store, {sample("five_hour", 10, t0)}, t0);
  EXPECT_EQ(seriesOf(snapshot, "five_hour").size(), 1u);
  EXPECT_TRUE(fs::is_directory(file() / "inner"));
  EXPECT_TRUE(backupNames().empty());

  fs::remove_all(file());
  ASSERT_EQ(::mkfifo(file().c_str(), 0600), 0);
  snapshot = record(store, {sample("five_hour", 20, t0 + 60)}, t0 + 60);
  EXPECT_EQ(seriesOf(snapshot, "five_hour").size(), 2u);
  EXPECT_EQ(fs::status(file()).type(), fs::file_type::fifo);

  // Once the file reads, what was recorded meanwhile joins its content.
  fs::remove(file());
  writeElements(
      nlohmann::json::array({element("claude", "seven_day", 5, t0 - 60), element("claude", "five_hour", 7, t0 - 60)}));
  snapshot = record(store, {sample("five_hour", 30, t0 + 120)}, t0 + 120);
  EXPECT_EQ(timesOf(seriesOf(snapshot, "five_hour")), (std::vector<double>{t0 - 60, t0, t0 + 60, t0 + 120}));
  EXPECT_EQ(nlohmann::json::parse(readText(file())).at("entries").size(), 5u);
}

// Clearing.

TEST_F(HistoryStoreTest, ClearDeletesFileAndBackupsButNotTemporaryFiles) {
  writeElements(nlohmann::json::array({element("claude", "five_hour", 1, t0)}));
  sandbox.writeFile(".local/share/Quotabox/history.json.corrupt-1", "x");
  sandbox.writeFile(".local/share/Quotabox/history.json.corrupt-2", "x");
  const auto temporary = sandbox.writeFile(".local/share/Quotabox/.history.json.0000.tmp", "x");
  HistoryStore store(file());
  const auto loaded = load(store, t0);
  const auto cleared = awaitFuture(store.clear());
  EXPECT_GT(cleared.version, loaded.version);
  EXPECT_TRUE(cleared.entries.empty());
  EXPECT_FALSE(store.clearFailed());
  EXPECT_FALSE(fs::exists(file()));
  EXPECT_TRUE(backupNames().empty());
  EXPECT_TRUE(fs::exists(temporary));
  // A cleared store does not read the file again.
  writeElements(nlohmann::json::array({element("claude", "seven_day", 1, t0)}));
  EXPECT_TRUE(load(store, t0).entries.empty());
}

TEST_F(HistoryStoreTest, FailedDeletionIsReportedUntilTheNextClear) {
  writeElements(nlohmann::json::array({element("claude", "five_hour", 1, t0)}));
  const fs::path stubborn = folder() / "history.json.corrupt-5";
  fs::create_directories(stubborn / "inside");
  sandbox.writeFile(".local/share/Quotabox/history.json.corrupt-9", "x");
  HistoryStore store(file());
  awaitFuture(store.clear());
  EXPECT_TRUE(store.clearFailed());
  // The other items are still deleted.
  EXPECT_FALSE(fs::exists(file()));
  EXPECT_FALSE(fs::exists(folder() / "history.json.corrupt-9"));

  record(store, {sample("five_hour", 1, t0)}, t0);
  EXPECT_TRUE(store.clearFailed());

  fs::remove_all(stubborn / "inside");
  awaitFuture(store.clear());
  EXPECT_FALSE(store.clearFailed());
  EXPECT_FALSE(fs::exists(stubborn));
}

TEST_F(HistoryStoreTest, DestroyingTheStoreFinishesQueuedCalls) {
  std::vector<QFuture<Snapshot>> futures;
  {
    HistoryStore store(file());
    for (int i = 0; i < 10; ++i) {
      futures.push_back(store.record({sample("five_hour", i, t0 + 60 * i)}, fromEpochSeconds(t0 + 60 * i)));
    }
    futures.push_back(store.clear());
  }
  for (auto& future : futures) EXPECT_TRUE(future.isFinished());
  EXPECT_TRUE(futures.back().result().entries.empty());
  EXPECT_EQ(seriesOf(futures[8].result(), "five_hour").size(), 9u);
  EXPECT_FALSE(fs::exists(file()));
}

TEST_F(HistoryStoreTest, ElementFieldsDecodeStrictlyAndIgnoreUnknownKeys) {
  writeHistory(
      R"({"note":{"entries":5,"version":9},"version":1,"entries":[)"
      R"({"service":"claude","windowID":"five_hour","usedPercent":1,"at":1763400000,"resetsAt":null,"extra":[1,{"a":2}]},)"
      R"({"service":"claude","windowID":"five_hour","usedPercent":"x","usedPercent":2,"at":1763400060},)"
      R"({"service":"claude","windowID":"seven_day","usedPercent":{"v":1},"at":1763400000},)"
      R"({"service":"claude","windowID":"seven_day","usedPercent":1,"at":1763400000,"resetsAt":"soon"},)"
      R"({"service":["claude"],"windowID":"seven_day","usedPercent":1,"at":1763400000},)"
      R"([{"service":"claude","windowID":"seven_day","usedPercent":1,"at":1763400000}]]})");
  HistoryStore store(file());
  const auto snapshot = load(store, t0 + 60);
  const auto series = seriesOf(snapshot, "five_hour");
  ASSERT_EQ(series.size(), 2u);
  EXPECT_FALSE(series[0].resetsAt.has_value());
  EXPECT_EQ(series[1].usedPercent, 2);
  EXPECT_EQ(snapshot.entries.size(), 1u);
  EXPECT_TRUE(backupNames().empty());
}

TEST_F(HistoryStoreTest, LoadingAFileInNormalFormDoesNotRewriteIt) {
  {
    HistoryStore store(file());
    record(store, {sample("five_hour", 10, t0), sample("seven_day", 20, t0, t0 + 99.5)}, t0);
  }
  const auto before = fs::last_write_time(file());
  struct stat first {};
  ASSERT_EQ(::stat(file().c_str(), &first), 0);
  HistoryStore fresh(file());
  EXPECT_EQ(load(fresh, t0 + 1).entries.size(), 2u);
  struct stat second {};
  ASSERT_EQ(::stat(file().c_str(), &second), 0);
  // An atomic rewrite would have replaced the file with a new one.
  EXPECT_EQ(first.st_ino, second.st_ino);
  EXPECT_EQ(fs::last_write_time(file()), before);
  // A real change is still written.
  record(fresh, {sample("five_hour", 11, t0 + 60)}, t0 + 60);
  EXPECT_EQ(nlohmann::json::parse(readText(file())).at("entries").size(), 3u);
}

TEST_F(HistoryStoreTest, ReadOnlyStoreReadsButNeverChangesTheDisk) {
  writeElements(nlohmann::json::array({element("claude", "five_hour", 10, t0), element("bogus", "five_hour", 1, t0)}));
  ::chmod(file().c_str(), 0644);
  const std::string before = readText(file());
  {
    HistoryStore store(file(), HistoryStore::Policy::standard(), HistoryStore::Access::readOnly);
    const auto snapshot = record(store, {sample("five_hour", 20, t0 + 120)}, t0 + 120);
    EXPECT_EQ(timesOf(seriesOf(snapshot, "five_hour")), (std::vector<double>{t0, t0 + 120}));
    awaitFuture(store.clear());
    EXPECT_FALSE(store.clearFailed());
  }
  EXPECT_EQ(readText(file()), before);
  EXPECT_EQ(modeOf(file()), 0644u);

  // A damaged file stays where it is.
  writeHistory("not json");
  HistoryStore store(file(), HistoryStore::Policy::standard(), HistoryStore::Access::readOnly);
  EXPECT_TRUE(load(store, t0).entries.empty());
  EXPECT_EQ(readText(file()), "not json");
  EXPECT_TRUE(backupNames().empty());
}
