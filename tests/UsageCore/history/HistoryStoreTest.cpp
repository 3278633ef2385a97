#include <sys/resource.h>
#include <sys/stat.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <tuple>

#include "EventLoop.h"
#include "HistoryFixtures.h"
#include "TestSandbox.h"
#include "history/HistoryFile.h"
#include "history/HistoryStore.h"

namespace fs = std::filesystem;
using Snapshot = HistoryStore::Snapshot;
using json = nlohmann::json;

namespace {

constexpr double t0 = 1763400000;
constexpr double day = 86400;

std::vector<HistoryEntry> seriesOf(const Snapshot& snapshot, const std::string& window,
                                   ServiceID service = ServiceID::claude) {
  const HistoryKey key{service, window};
  const auto it = snapshot.entries.find(key);
  return it == snapshot.entries.end() ? std::vector<HistoryEntry>{} : it->second.entries(key);
}

std::vector<double> timesOf(const Snapshot& snapshot, const std::string& window) {
  std::vector<double> times;
  for (const auto& entry : seriesOf(snapshot, window)) times.push_back(toEpochSeconds(entry.at));
  return times;
}

json element(const char* service, const char* window, double percent, double at) {
  return {{"service", service}, {"windowID", window}, {"usedPercent", percent}, {"at", at}};
}

// A pipe nobody writes (a read would block) where a file should be.
void block(const fs::path& at) {
  fs::create_directories(at.parent_path());
  ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0);
}

std::string stamp(double t) { return "history.json.corrupt-" + std::to_string(static_cast<long long>(t)); }

Snapshot record(HistoryStore& store, std::vector<HistoryEntry> entries, double now) {
  return awaitFuture(store.record(std::move(entries), fromEpochSeconds(now)));
}
Snapshot load(HistoryStore& store, double now) { return awaitFuture(store.load(fromEpochSeconds(now))); }

}  // namespace

class HistoryStoreTest : public SandboxedTest {
 protected:
  fs::path folder() const { return sandbox.path(".local/share/Quotabox"); }
  fs::path file() const { return folder() / "history.json"; }

  fs::path write(const std::string& name, const std::string& body) const {
    return sandbox.writeFile(".local/share/Quotabox/" + name, QByteArray::fromStdString(body));
  }
  void writeElements(const json& elements) const { write("history.json", historyJson(elements)); }
  std::size_t entriesOnDisk() const { return json::parse(readText(file())).at("entries").size(); }
  std::size_t samplesOnDisk() const { return historyOnDisk(file()).size(); }
  fs::path journal() const { return HistoryStore::journalURL(file()); }
  std::vector<std::string> backupNames() const {
    std::vector<std::string> names;
    for (const auto& path : HistoryFile::corruptBackups(file())) names.push_back(path.filename().string());
    return names;
  }

  HistoryStore memoryStore{std::nullopt};
};

TEST_F(HistoryStoreTest, ThinningKeepsChangesAfterTheMinimumGapNewCyclesAndHeartbeats) {
  const std::optional<double> none, reset = t0 + 3600;
  // Each after a first sample of 10% at t0: percent, time, first sample's reset, this one's reset, stored.
  const std::tuple<double, double, std::optional<double>, std::optional<double>, bool> cases[] = {
      {50, t0 + 59, none, none, false},       // no change counts before the minimum gap
      {10.005, t0 + 60, none, none, true},    // a change of 0.005 points does
      {9.9, t0 + 60, none, none, true},       // and a fall counts like a rise
      {10.004, t0 + 599, none, none, false},  // below that the value is flat...
      {10, t0 + 600, none, none, true},       // ...and stored as a heartbeat after ten minutes
      {10, t0 + 120, reset, *reset + 300, false},
      {10, t0 + 120, reset, *reset + 301, true},  // a flat value in a new reset cycle
      {10, t0 + 120, none, *reset + 999, false},  // needs reset times on both sides
      {10, t0 + 120, reset, none, false},
      {50, t0 - 60, none, none, false},  // never back in time
  };
  for (const auto& [percent, at, lastReset, resetsAt, stored] : cases) {
    SCOPED_TRACE(std::to_string(percent) + " at +" + std::to_string(at - t0));
    HistoryStore store(std::nullopt);
    record(store, {sample("five_hour", 10, t0, lastReset)}, t0);
    EXPECT_EQ(seriesOf(record(store, {sample("five_hour", percent, at, resetsAt)}, at), "five_hour").size(),
              stored ? 2u : 1u);
  }
}

TEST_F(HistoryStoreTest, RecordSortsClampsAndBoundsABatch) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double now = t0 + 20 * day;
  // Every seven_day_opus sample is unrecordable: out of the time limits, not finite, or not a known window.
  auto snapshot =
      record(memoryStore,
             {sample("five_hour", 20, now), sample("five_hour", 130, now - 120), sample("seven_day", -5, now + 60),
              sample("seven_day_sonnet", 1, now - 14 * day), sample("seven_day_opus", 1, now + 61),
              sample("seven_day_opus", 1, now - 14 * day - 1), sample("seven_day_opus", nan, now),
              sample("seven_day_opus", std::numeric_limits<double>::infinity(), now), sample("seven_day_opus", 5, nan),
              sample("seven_day_opus", 5, now, nan), sample("seven_day_special", 5, now),
              sample("codex_secondary", 5, now, now + 10, ServiceID::codex)},
             now);
  EXPECT_EQ(timesOf(snapshot, "five_hour"), (std::vector<double>{now - 120, now}));
  EXPECT_EQ(seriesOf(snapshot, "five_hour").at(0).usedPercent, 100);
  EXPECT_EQ(seriesOf(snapshot, "seven_day").at(0).usedPercent, 0);
  EXPECT_EQ(snapshot.entries.size(), 4u);
  EXPECT_EQ(seriesOf(snapshot, "codex_secondary", ServiceID::codex).size(), 1u);
  // Pruning is inclusive at both ends and then moves on with the clock.
  snapshot = load(memoryStore, now + 1);
  EXPECT_TRUE(seriesOf(snapshot, "seven_day_sonnet").empty());
  EXPECT_EQ(seriesOf(snapshot, "seven_day").size(), 1u);
}

TEST_F(HistoryStoreTest, VersionGrowsOnlyWithChangesAndQueuedCallsFinishInOrderPastTheStoresEnd) {
  std::vector<QFuture<Snapshot>> futures;
  long long version = 0;
  {
    HistoryStore store(file());
    const auto first = record(store, {sample("five_hour", 10, t0)}, t0);
    EXPECT_EQ(record(store, {sample("five_hour", 10, t0 + 10)}, t0 + 10).version, first.version);
    version = awaitFuture(store.clear()).version;
    EXPECT_GT(version, first.version);
    for (int i = 1; i <= 10; ++i) {
      futures.push_back(store.record({sample("seven_day", i, t0 + 60 * i)}, fromEpochSeconds(t0 + 60 * i)));
    }
    futures.push_back(store.clear());
  }
  for (auto& future : futures) {
    ASSERT_TRUE(future.isFinished());
    EXPECT_EQ(future.result().version, ++version);
  }
  EXPECT_EQ(seriesOf(futures[8].result(), "seven_day").size(), 9u);
  EXPECT_TRUE(futures.back().result().entries.empty());
  EXPECT_FALSE(fs::exists(file()));
}

TEST_F(HistoryStoreTest, BlockingWaitNeverRunsAQueuedCallOutOfOrder) {
  // A large file keeps the first call busy while the second is waited on.
  std::string body = R"({"version":1,"entries":[)";
  for (int i = 0; i < 40000; ++i) {
    if (i) body += ',';
    body += element("claude", i % 2 ? "five_hour" : "seven_day", i % 100, t0 + i).dump();
  }
  write("history.json", body + "]}");
  HistoryStore store(file());
  auto first = store.record({sample("five_hour", 50, t0 + 40060)}, fromEpochSeconds(t0 + 40060));
  auto second = store.clear();
  second.waitForFinished();
  EXPECT_TRUE(first.isFinished());
  EXPECT_LT(first.result().version, second.result().version);
  EXPECT_TRUE(awaitFuture(store.load(fromEpochSeconds(t0 + 40060))).entries.empty());
  EXPECT_EQ(samplesOnDisk(), 0u);
}

TEST_F(HistoryStoreTest, RecordsReachTheDiskPrivatelyAndTheNextLoadFoldsThemExactly) {
  const double fine = 1763400000.123456789;
  {
    HistoryStore store(file());
    record(store,
           {sample("codex_primary", 5, fine, std::nullopt, ServiceID::codex),
            sample("seven_day", 7.25, fine, fine + 3.5), sample("five_hour", 1.0 / 3.0, fine)},
           fine);
    EXPECT_EQ(modeOf(folder()), 0700u);
    EXPECT_EQ(modeOf(file()), 0600u);
    for (const auto& item : fs::directory_iterator(folder())) {
      if (item.path() != HistoryStore::lockURL(file())) {
        EXPECT_EQ(item.path().filename(), "history.json");
      }
    }
    // Later records go to the journal, which is as private as the file.
    record(store, {sample("five_hour", 20, fine + 60), sample("seven_day", 1, fine + 60)}, fine + 60);
    record(store, {sample("five_hour", 30, fine + 120)}, fine + 120);
    EXPECT_EQ(modeOf(journal()), 0600u);
    EXPECT_EQ(samplesOnDisk(), 6u);
  }
  HistoryStore store(file());
  const auto snapshot = load(store, fine + 120);
  EXPECT_EQ(seriesOf(snapshot, "five_hour"),
            (std::vector{sample("five_hour", 1.0 / 3.0, fine), sample("five_hour", 20, fine + 60),
                         sample("five_hour", 30, fine + 120)}));
  EXPECT_EQ(seriesOf(snapshot, "seven_day").at(0), sample("seven_day", 7.25, fine, fine + 3.5));
  EXPECT_FALSE(fs::exists(journal()));
  EXPECT_EQ(entriesOnDisk(), 6u);
}

TEST_F(HistoryStoreTest, JournalReplaySkipsDamagedAndTornLines) {
  writeElements(json::array({element("claude", "five_hour", 1, t0)}));
  const auto line = [](double percent, double at) {
    return historyJson(json::array({element("claude", "five_hour", percent, at)})) + "\n";
  };
  // Lines already in the file (a fold cut short before the journal went) change nothing.
  write("history.json.journal", line(1, t0) + line(2, t0 + 60) + "{\"version\":1,\"entr\n" +
                                    R"({"version":2,"entries":[]})"
                                    "\n" +
                                    line(3, t0 + 120) + line(4, t0 + 180).substr(0, 40));
  HistoryStore store(file());
  EXPECT_EQ(timesOf(load(store, t0 + 180), "five_hour"), (std::vector<double>{t0, t0 + 60, t0 + 120}));
  EXPECT_EQ(entriesOnDisk(), 3u);
  EXPECT_TRUE(backupNames().empty());
}

TEST_F(HistoryStoreTest, SymlinkedHistoryIsSetAsideAndItsTargetLeftAlone) {
  const fs::path target = write("elsewhere.json", historyJson(json::array({element("claude", "five_hour", 5, t0)})));
  fs::permissions(target, fs::perms(0644));
  const std::string before = readText(target);
  fs::create_symlink(target, file());
  HistoryStore store(file());
  EXPECT_TRUE(load(store, t0).entries.empty());
  EXPECT_EQ(modeOf(target), 0644u);
  EXPECT_EQ(backupNames(), std::vector<std::string>{stamp(t0)});
  EXPECT_TRUE(fs::is_symlink(folder() / stamp(t0)));
  record(store, {sample("five_hour", 10, t0)}, t0);
  EXPECT_EQ(readText(target), before);
  EXPECT_FALSE(fs::is_symlink(file()));
}

TEST_F(HistoryStoreTest, FailedWriteIsRetriedAtTheNextPersist) {
  // A file where the folder should be makes the write fail.
  const auto blocker = sandbox.writeFile("blocked", "not a folder");
  HistoryStore store(blocker / "history.json");
  EXPECT_EQ(seriesOf(record(store, {sample("five_hour", 10, t0)}, t0), "five_hour").size(), 1u);
  fs::remove(blocker);
  // Nothing new is stored, but the pending content is written now.
  record(store, {}, t0 + 1);
  EXPECT_EQ(json::parse(readText(blocker / "history.json")).at("entries").size(), 1u);
}

TEST_F(HistoryStoreTest, LossyLoadSkipsBadElementsAndRewritesTheFile) {
  write("history.json",
        R"({"note":{"entries":5},"version":1,"entries":[)"
        R"({"service":"claude","windowID":"five_hour","usedPercent":5,"at":1763400060},)"
        R"({"service":"claude","windowID":"five_hour","usedPercent":1,"at":1763400000,"resetsAt":null,"extra":[1]},)"
        R"({"service":"claude","windowID":"five_hour","usedPercent":2,"at":1763400000},)"
        R"({"service":"claude","windowID":"five_hour","usedPercent":6,"at":1763400060},)"
        R"({"service":"codex","windowID":"codex_primary","usedPercent":20,"at":1763400000},)"
        R"({"service":"claude","windowID":"seven_day","usedPercent":150,"at":1763400005},)"
        R"({"service":"gemini","windowID":"five_hour","usedPercent":1,"at":1763400060},)"
        R"({"service":"claude","windowID":"seven_day_unknown","usedPercent":1,"at":1763400000},)"
        R"({"service":"claude","windowID":"seven_day","usedPercent":"12","at":1763400000},)"
        R"(42]})");
  HistoryStore store(file());
  const auto snapshot = load(store, t0 + 100);
  EXPECT_EQ(snapshot.entries.size(), 3u);
  // Sorted, and of equal times the first in the file is kept.
  EXPECT_EQ(seriesOf(snapshot, "five_hour"),
            (std::vector{sample("five_hour", 1, t0), sample("five_hour", 5, t0 + 60)}));
  EXPECT_EQ(seriesOf(snapshot, "seven_day").at(0).usedPercent, 100);
  EXPECT_TRUE(backupNames().empty());
  const auto rewritten = json::parse(readText(file())).at("entries");
  ASSERT_EQ(rewritten.size(), 4u);
  EXPECT_EQ(rewritten[2]["usedPercent"], 100);
}

TEST_F(HistoryStoreTest, PrunesOnLoadToRetentionAndToFourThousandPerSeries) {
  auto elements = json::array();
  for (int i = 0; i < 4001; ++i) elements.push_back(element("claude", "five_hour", i % 100, t0 + 60.0 * i));
  elements.push_back(element("codex", "codex_primary", 1, t0 - 15 * day));
  elements.push_back(element("codex", "codex_secondary", 1, t0 + 4001 * 60 + 61));
  writeElements(elements);
  HistoryStore store(file());
  const double now = t0 + 4000 * 60;
  const auto snapshot = load(store, now);
  EXPECT_EQ(timesOf(snapshot, "five_hour").front(), t0 + 60);
  EXPECT_EQ(timesOf(snapshot, "five_hour").back(), now);
  EXPECT_EQ(snapshot.entries.size(), 1u);
  EXPECT_EQ(entriesOnDisk(), 4000u);
}

TEST_F(HistoryStoreTest, QuarantinesFilesThatAreNotAVersionOneHistoryOrTooLargeKeepingTheNewestThree) {
  const std::string valid = historyJson(json::array({element("claude", "five_hour", 1, t0)}));
  HistoryStore::Policy policy;
  policy.maxFileBytes = static_cast<long long>(valid.size());
  for (const std::string& body :
       std::vector<std::string>{R"({"version":2,"entries":[]})", "not json", R"({"version":1.0,"entries":[]})",
                                R"({"version":"1","entries":[]})", R"({"version":1,"entries":{}})", R"({"entries":[]})",
                                "[1,2]", "", valid + " "}) {
    SCOPED_TRACE(body);
    TestSandbox local;
    const fs::path path = local.writeFile("history.json", QByteArray::fromStdString(body));
    HistoryStore store(path, policy);
    EXPECT_TRUE(load(store, t0 + 0.9).entries.empty());
    EXPECT_EQ(readText(local.path(stamp(t0))), body);
    EXPECT_EQ(modeOf(local.path(stamp(t0))), 0600u);
    EXPECT_FALSE(fs::exists(path));
  }
  // A file of exactly the limit is read.
  write("history.json", valid);
  {
    HistoryStore exact(file(), policy);
    EXPECT_EQ(load(exact, t0).entries.size(), 1u);
  }

  // Backup names count up past taken stamps, and only the newest three stay.
  for (double t : {t0 - 30, t0 - 20, t0 - 10, t0}) write(stamp(t), "old");
  write("history.json", R"({"version":2,"entries":[]})");
  HistoryStore store(file());
  load(store, t0);
  EXPECT_EQ(backupNames(), (std::vector<std::string>{stamp(t0 - 10), stamp(t0), stamp(t0 + 1)}));
  EXPECT_EQ(readText(folder() / stamp(t0 + 1)), R"({"version":2,"entries":[]})");
  // The store goes on with an empty history and writes a fresh file once there is something.
  record(store, {sample("five_hour", 10, t0)}, t0);
  EXPECT_EQ(entriesOnDisk(), 1u);
}

TEST_F(HistoryStoreTest, DamagedFileThatCannotBeMovedStaysAndNothingIsWritten) {
  // The backup name would be too long for the file system, so the move fails.
  const fs::path damaged = folder() / std::string(240, 'h');
  write(damaged.filename().string(), "not json");
  HistoryStore store(damaged);
  EXPECT_EQ(seriesOf(record(store, {sample("five_hour", 10, t0)}, t0), "five_hour").size(), 1u);
  EXPECT_EQ(store.setAsideError(), std::errc::filename_too_long);
  EXPECT_EQ(readText(damaged), "not json");
  record(store, {sample("five_hour", 20, t0 + 60)}, t0 + 60);
  EXPECT_EQ(readText(damaged), "not json");
  EXPECT_FALSE(fs::exists(HistoryStore::journalURL(damaged)));
}

TEST_F(HistoryStoreTest, LoadTightensModesAndDropsOnlyOurStaleTemporariesAndBackups) {
  writeElements(json::array({element("claude", "five_hour", 1, t0)}));
  const std::string ours = ".history.json.0b6d3f5e-9a8c-4d2e-8f1a-2c3b4d5e6f70.tmp";
  // Backups 14 days old or from the future, a backup without a time stamp, our temporaries: dropped.
  const std::vector<std::string> dropped{stamp(t0 - 14 * day - 1), stamp(t0 + 61), "history.json.corrupt-abc", ours};
  const std::vector<std::string> kept{stamp(t0 - 13 * day),
                                      stamp(t0) + ".5",
                                      "notes.corrupt-1",
                                      ".history.json.decoy.tmp",
                                      ".notes.json." + ours.substr(14),
                                      "history.json.0b6d3f5e.tmp"};
  for (const auto& names : {dropped, kept}) {
    for (const auto& name : names) fs::permissions(write(name, "x"), fs::perms(0644));
  }
  fs::permissions(folder(), fs::perms(0755));
  fs::permissions(file(), fs::perms(0644));
  HistoryStore store(file());
  load(store, t0);
  EXPECT_EQ(modeOf(folder()), 0700u);
  EXPECT_EQ(modeOf(file()), 0600u);
  for (const auto& name : dropped) EXPECT_FALSE(fs::exists(folder() / name)) << name;
  for (const auto& name : kept) {
    EXPECT_EQ(modeOf(folder() / name), name.starts_with("history.json.corrupt-") ? 0600u : 0644u) << name;
  }
}

TEST_F(HistoryStoreTest, UnreadableHistoryIsNeverOverwritten) {
  // A pipe at the history path fails to read; it may neither hang nor be replaced (a rename
  // would replace it, unlike a folder).
  block(file());
  HistoryStore store(file());
  record(store, {sample("five_hour", 10, t0)}, t0);
  EXPECT_EQ(seriesOf(record(store, {sample("five_hour", 20, t0 + 60)}, t0 + 60), "five_hour").size(), 2u);
  EXPECT_EQ(fs::status(file()).type(), fs::file_type::fifo);
  EXPECT_TRUE(backupNames().empty());

  // Once the file reads, what was recorded meanwhile joins its content.
  fs::remove(file());
  writeElements({element("claude", "seven_day", 5, t0 - 60), element("claude", "five_hour", 7, t0 - 60)});
  const auto snapshot = record(store, {sample("five_hour", 30, t0 + 120)}, t0 + 120);
  EXPECT_EQ(timesOf(snapshot, "five_hour"), (std::vector<double>{t0 - 60, t0, t0 + 60, t0 + 120}));
  EXPECT_EQ(entriesOnDisk(), 5u);
}

TEST_F(HistoryStoreTest, ClearDeletesFileJournalAndBackupsAndReportsWhatItCouldNotDelete) {
  writeElements(json::array({element("claude", "five_hour", 1, t0)}));
  write("history.json.journal", "{}\n");
  write("history.json.corrupt-9", "x");
  const auto temporary = write(".history.json.0000.tmp", "x");
  // A backup that cannot be deleted: a non-empty folder with a backup's name.
  const fs::path stubborn = folder() / "history.json.corrupt-5";
  fs::create_directories(stubborn / "inside");
  HistoryStore store(file());
  load(store, t0);
  EXPECT_TRUE(awaitFuture(store.clear()).entries.empty());
  EXPECT_TRUE(store.clearFailed());
  // The other items are still deleted; temporary files are not the clear's business.
  EXPECT_FALSE(fs::exists(file()) || fs::exists(journal()) || fs::exists(folder() / "history.json.corrupt-9"));
  EXPECT_TRUE(fs::exists(temporary));
  // A cleared store does not read the file again.
  writeElements(json::array({element("claude", "seven_day", 1, t0)}));
  EXPECT_TRUE(load(store, t0).entries.empty());
}

TEST_F(HistoryStoreTest, ReadOnlyStoreReadsButNeverChangesTheDisk) {
  writeElements({element("claude", "five_hour", 10, t0), element("bogus", "five_hour", 1, t0)});
  fs::permissions(file(), fs::perms(0644));
  const std::string before = readText(file());
  HistoryStore store(file(), HistoryStore::Policy::standard(), HistoryStore::Access::readOnly);
  EXPECT_EQ(timesOf(record(store, {sample("five_hour", 20, t0 + 120)}, t0 + 120), "five_hour"),
            (std::vector<double>{t0, t0 + 120}));
  awaitFuture(store.clear());
  EXPECT_FALSE(store.clearFailed());
  EXPECT_EQ(readText(file()), before);
  EXPECT_EQ(modeOf(file()), 0644u);
}

TEST_F(HistoryStoreTest, JournalThatIsNotAFileIsSetAsideAndHistoryGoesOn) {
  writeElements(json::array({element("claude", "five_hour", 1, t0)}));
  block(journal());
  HistoryStore store(file());
  EXPECT_EQ(timesOf(load(store, t0), "five_hour"), std::vector<double>{t0});
  record(store, {sample("five_hour", 2, t0 + 60)}, t0 + 60);
  EXPECT_EQ(samplesOnDisk(), 2u);
  EXPECT_EQ(backupNames().size(), 0u);
  EXPECT_EQ(HistoryFile::corruptBackups(journal()).size(), 1u);
}

// The data folder turns unwritable: every fold fails (here through the file-size limit, which
// stops root as well), appends stop at the fold limit, and the next start reads it all.
TEST_F(HistoryStoreTest, FailedFoldStopsAppendsSoTheJournalStaysReadable) {
  std::vector<json> elements;
  for (int i = 0; i < 200; ++i) elements.push_back(element("claude", "seven_day", i % 100, t0 - 3600 + i));
  writeElements(elements);
  const auto fileBytes = fs::file_size(file());
  HistoryStore::Policy policy;
  policy.journalFoldBytes = 1000;
  std::size_t acked = 200;
  {
    HistoryStore store(file(), policy);
    load(store, t0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = fileBytes + 8000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    for (int i = 1; i <= 300; ++i) {
      record(store, {sample("five_hour", i % 100, t0 + 60 * i)}, t0 + 60 * i);
      if (!store.writeError()) acked = 201 + i;
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_TRUE(store.writeError());
  }
  // Nothing past the fold limit and one more line.
  EXPECT_LE(fs::file_size(journal()), std::max<std::uintmax_t>(policy.journalFoldBytes, fileBytes) + 200);
  EXPECT_GE(samplesOnDisk(), acked);
  HistoryStore restarted(file(), policy);
  EXPECT_EQ(load(restarted, t0 + 60 * 300).entries.size(), 2u);
  EXPECT_TRUE(backupNames().empty() && HistoryFile::corruptBackups(journal()).empty());
  EXPECT_FALSE(restarted.writeError());
}

TEST_F(HistoryStoreTest, OneWriterHoldsTheLockAndTheOtherReadsUntilItIsFree) {
  HistoryStore::Policy policy;
  policy.journalFoldBytes = 600;  // folds often, where a second writer would overwrite the first
  auto first = std::make_unique<HistoryStore>(file(), policy);
  HistoryStore second(file(), policy);
  load(*first, t0);
  load(second, t0);
  EXPECT_TRUE(first->isWriter());
  EXPECT_FALSE(second.isWriter());
  for (int i = 0; i < 30; ++i) {
    const double at = t0 + 60 * i;
    record(*first, {sample("five_hour", i, at)}, at);
    // The reader's own samples stay in memory; it sees the writer's.
    const auto seen = record(second, {sample("seven_day", i, at + 30)}, at + 30);
    EXPECT_EQ(seriesOf(seen, "five_hour").size(), std::size_t(i) + 1);
  }
  EXPECT_EQ(samplesOnDisk(), 30u);
  // The reader cannot clear what the writer would write again.
  awaitFuture(second.clear());
  EXPECT_TRUE(second.clearFailed());
  EXPECT_EQ(samplesOnDisk(), 30u);

  first.reset();
  const auto taken = record(second, {sample("seven_day", 50, t0 + 1800)}, t0 + 1800);
  EXPECT_TRUE(second.isWriter());
  EXPECT_EQ(seriesOf(taken, "five_hour").size(), 30u);
  EXPECT_EQ(samplesOnDisk(), 31u);
}
