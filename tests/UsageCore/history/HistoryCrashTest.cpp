#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <random>

#include "BuildPaths.h"
#include "EventLoop.h"
#include "HistoryFixtures.h"
#include "TestSandbox.h"
#include "history/HistoryCodec.h"
#include "history/HistoryFile.h"
#include "history/HistoryStore.h"

namespace fs = std::filesystem;
using nlohmann::json;

// Runs history_crash_child, which records into a history (or clears it) until it is killed.
class HistoryCrashTest : public SandboxedTest {
 protected:
  const QString child = BuildPaths::helperDir() + QStringLiteral("/history_crash_child");
};

TEST_F(HistoryCrashTest, KilledWriterAlwaysLeavesACompleteHistory) {
  ASSERT_TRUE(QFile::exists(child)) << child.toStdString();
  const fs::path folder = sandbox.path("data/Quotabox"), file = folder / "history.json";
  // A left-over temporary file must never be taken for the history.
  constexpr double decoyPercent = 12.345;
  sandbox.writeFile("data/Quotabox/.history.json.decoy.tmp",
                    R"({"version":1,"entries":[{"service":"claude","windowID":"five_hour","usedPercent":12.345,)"
                    R"("at":1763400030}]})");
  fs::permissions(folder, fs::perms::owner_all);
  // A sizeable history to begin with, so that killing the writer mid-fold is likely.
  std::vector<HistoryEntry> initial;
  const double start = 1763400000 - 1000 * 61.0;
  for (const char* window : {"five_hour", "seven_day", "seven_day_opus", "seven_day_sonnet"}) {
    for (int i = 0; i < 1000; ++i) {
      initial.push_back(sample(window, i % 100, start + 61.0 * i));
    }
  }
  sandbox.writeFile("data/Quotabox/history.json", QByteArray::fromStdString(HistoryCodec::encode(initial)));

  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  // Per window: the samples on disk up to the store's cap (a fold keeps only the newest 4000), and
  // the newest time; neither may go down from one kill to the next.
  std::map<std::string, std::pair<std::size_t, TimePoint>> previous;
  std::size_t total = 0;
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);  // stdout carries the ready line
    // Kills land in appends mostly; the "fold" mode below stops folds at chosen steps.
    process.start(child, {QString::fromStdString(file.string()), "4096"});
    ASSERT_TRUE(process.waitForReadyRead(10000)) << "child never got ready";
    spinFor(std::chrono::milliseconds(std::uniform_int_distribution<int>(5, 60)(random)));
    // The writer loops forever; if it is gone already, it failed on its own.
    ASSERT_EQ(process.state(), QProcess::Running) << "child exited with " << process.exitCode();
    process.kill();
    ASSERT_TRUE(process.waitForFinished());

    QFile left(QString::fromStdString(file.string()));
    ASSERT_TRUE(left.open(QIODevice::ReadOnly)) << "history disappeared";
    const auto body = json::parse(left.readAll().toStdString());
    ASSERT_EQ(body.at("version"), 1);
    const auto& elements = body.at("entries");
    for (const auto& element : elements) ASSERT_TRUE(element.get<HistoryEntry>().isRecordable());
    // Every journal line is whole, but for a last one cut short.
    QFile journal(QString::fromStdString(HistoryStore::journalURL(file).string()));
    if (journal.open(QIODevice::ReadOnly)) {
      const QList<QByteArray> lines = journal.readAll().split('\n');
      for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        ASSERT_EQ(json::parse(lines[i].toStdString()).at("version"), 1) << "line " << i;
      }
    }

    // Every completed record only adds samples, so fewer of them means a lost write.
    const auto loaded = historyOnDisk(file);
    std::map<std::string, std::pair<std::size_t, TimePoint>> now;
    for (const auto& entry : loaded) {
      ASSERT_NE(entry.usedPercent, decoyPercent);
      auto& [count, newest] = now[entry.windowID];
      ++count;
      newest = std::max(newest, entry.at);
    }
    const auto cap = static_cast<std::size_t>(HistoryStore::Policy::standard().maxEntriesPerKey);
    for (const auto& [window, before] : previous) {
      ASSERT_GE(std::min(now[window].first, cap), std::min(before.first, cap)) << window;
      ASSERT_GE(now[window].second, before.second) << window;
    }
    previous = now;
    total = loaded.size();
    ASSERT_TRUE(HistoryFile::corruptBackups(file).empty());
  }
  // The writer must actually have got its writes in for the test to mean anything.
  EXPECT_GT(total, 4000u);
  // Temporary files of killed folds go at the next start; the decoy is not ours.
  HistoryStore restarted(file);
  awaitFuture(restarted.load(fromEpochSeconds(1763400000)));
  std::vector<std::string> left;
  for (const auto& item : fs::directory_iterator(folder)) {
    if (item.path().extension() == ".tmp") left.push_back(item.path().filename().string());
  }
  EXPECT_EQ(left, std::vector<std::string>{".history.json.decoy.tmp"});
}

// A fold killed just before and just after it drops the journal: every acknowledged sample stays.
TEST_F(HistoryCrashTest, FoldKilledAroundItsJournalDeletionLosesNoAcknowledgedSample) {
  for (const char* when : {"before", "after"}) {
    SCOPED_TRACE(when);
    const fs::path file = sandbox.path(std::string("data/") + when + "/history.json");
    QProcess process;
    process.start(child, {QString::fromStdString(file.string()), "fold", when});
    ASSERT_TRUE(process.waitForFinished(20000));
    ASSERT_EQ(process.exitStatus(), QProcess::CrashExit) << "the second fold never came";
    const QList<QByteArray> acknowledged = process.readAllStandardOutput().trimmed().split('\n');
    ASSERT_GT(acknowledged.last().toInt(), 5) << "no record between the two folds";
    // The record cut short may or may not have made it; the ones before it must have.
    EXPECT_GE(historyOnDisk(file).size(), acknowledged.last().toUInt());
    EXPECT_TRUE(HistoryFile::corruptBackups(file).empty());
  }
}

// A clear killed after each of its deletions in turn: the next start never shows a cleared sample.
TEST_F(HistoryCrashTest, ClearKilledBetweenItsStepsBringsNothingBack) {
  const fs::path file = sandbox.path("data/Quotabox/history.json");
  const double t0 = 1763400000;
  for (int deletions = 1; deletions <= 4; ++deletions) {
    SCOPED_TRACE("killed after deletion " + std::to_string(deletions));
    {
      // Samples in the file and in the journal both.
      HistoryStore store(file);
      for (const double at : {t0, t0 + 60}) {
        awaitFuture(store.record({sample("five_hour", (at - t0) / 6 + 10, at)}, fromEpochSeconds(at)));
      }
      ASSERT_TRUE(fs::exists(file) && fs::exists(HistoryStore::journalURL(file)));
    }
    QProcess process;
    process.start(child, {QString::fromStdString(file.string()), "clear", QString::number(deletions)});
    ASSERT_TRUE(process.waitForFinished(10000));
    // Three deletions (journal, file, marker): killed after each, then one run that finishes.
    EXPECT_EQ(process.exitStatus(), deletions <= 3 ? QProcess::CrashExit : QProcess::NormalExit);
    HistoryStore restarted(file);
    EXPECT_TRUE(awaitFuture(restarted.load(fromEpochSeconds(t0 + 120))).entries.empty());
    EXPECT_FALSE(fs::exists(file) || fs::exists(HistoryStore::journalURL(file)));
  }
}
