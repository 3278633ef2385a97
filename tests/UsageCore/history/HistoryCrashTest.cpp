#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>

#include "EventLoop.h"
#include "history/HistoryCodec.h"
#include "history/HistoryFile.h"
#include "history/HistoryStore.h"
#include "TestSandbox.h"

namespace fs = std::filesystem;

TEST(HistoryCrashTest, KilledWriterAlwaysLeavesACompleteHistory) {
  TestSandbox sandbox;
  const QString child = QStringLiteral(QUOTABOX_HELPER_DIR "/history_crash_child");
  ASSERT_TRUE(QFile::exists(child)) << child.toStdString();
  const fs::path folder = sandbox.path("data/Quotabox"), file = folder / "history.json";
  // A left-over temporary file must never be taken for the history.
  constexpr double decoyPercent = 12.345;
  sandbox.writeFile("data/Quotabox/.history.json.decoy.tmp",
                    R"({"version":1,"entries":[{"service":"claude","windowID":"five_hour","usedPercent":12.345,)"
                    R"("at":1763400030}]})");
  fs::permissions(folder, fs::perms::owner_all);
  // A sizeable history to begin with, so that killing the writer mid-write is likely.
  HistoryMap initial;
  const double start = 1763400000 - 1000 * 61.0;
  for (const char* window : {"five_hour", "seven_day", "seven_day_opus", "seven_day_sonnet"}) {
    for (int i = 0; i < 1000; ++i) {
      initial[HistoryKey{ServiceID::claude, window}].push_back(
          {ServiceID::claude, window, double(i % 100), fromEpochSeconds(start + 61.0 * i), std::nullopt});
    }
  }
  sandbox.writeFile("data/Quotabox/history.json", QByteArray::fromStdString(HistoryCodec::encode(initial)));

  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::size_t previousCount = 4000;
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);  // stdout carries the ready line
    process.start(child, {QString::fromStdString(file.string())});
    ASSERT_TRUE(process.waitForReadyRead(10000)) << "child never got ready";
    spinFor(std::chrono::milliseconds(std::uniform_int_distribution<int>(5, 60)(random)));
    // The writer loops forever; if it is gone already, it failed on its own.
    ASSERT_EQ(process.state(), QProcess::Running) << "child exited with " << process.exitCode();
    process.kill();
    ASSERT_TRUE(process.waitForFinished());

    QFile left(QString::fromStdString(file.string()));
    ASSERT_TRUE(left.open(QIODevice::ReadOnly)) << "history disappeared";
    const auto json = nlohmann::json::parse(left.readAll().toStdString());
    ASSERT_EQ(json.at("version"), 1);
    const auto& elements = json.at("entries");
    double latest = 0;
    for (const auto& element : elements) {
      ASSERT_TRUE(element.get<HistoryEntry>().isRecordable());
      latest = std::max(latest, element.at("at").get<double>());
    }
    // Every completed write only adds samples, so a shrinking file means a lost write.
    ASSERT_GE(elements.size(), previousCount);
    previousCount = elements.size();

    HistoryStore fresh(file);
    std::size_t loaded = 0;
    for (const auto& [key, series] : awaitFuture(fresh.load(fromEpochSeconds(latest))).entries) {
      loaded += series.size();
      for (const auto& entry : series) ASSERT_NE(entry.usedPercent, decoyPercent);
    }
    EXPECT_EQ(loaded, elements.size());
    ASSERT_TRUE(HistoryFile::corruptBackups(file).empty());
  }
  // The writer must actually have got its writes in for the test to mean anything.
  EXPECT_GT(previousCount, 4000u);
}
