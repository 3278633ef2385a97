#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>

#include "EventLoop.h"
#include "HistoryCodec.h"
#include "HistoryStore.h"
#include "TestSandbox.h"

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& path) {
  QFile file(QString::fromStdString(path.string()));
  if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + path.string());
  return file.readAll().toStdString();
}

// A left-over temporary file that would be loaded if temporary files were ever taken as the history.
constexpr double kDecoyPercent = 12.345;
constexpr double kSeedStart = 1763400000 - 1000 * 61.0;

}  // namespace

class HistoryCrashTest : public SandboxedTest {
 protected:
  fs::path folder() const { return sandbox.path("data/Quotabox"); }
  fs::path file() const { return folder() / "history.json"; }

  bool anyBackup() const {
    for (const auto& item : fs::directory_iterator(folder())) {
      if (item.path().filename().string().rfind("history.json.corrupt-", 0) == 0) return true;
    }
    return false;
  }
};

TEST_F(HistoryCrashTest, KilledWriterAlwaysLeavesACompleteHistory) {
  const QString child = QCoreApplication::applicationDirPath() + "/history_crash_child";
  ASSERT_TRUE(QFile::exists(child)) << child.toStdString();
  fs::create_directories(folder());
  fs::permissions(folder(), fs::perms::owner_all);
  const nlohmann::json decoy = {
      {"version", 1},
      {"entries",
       {{{"service", "claude"}, {"windowID", "five_hour"}, {"usedPercent", kDecoyPercent}, {"at", 1763400030}}}}};
  sandbox.writeFile("data/Quotabox/.history.json.decoy.tmp", QByteArray::fromStdString(decoy.dump()));
  // A sizeable history to begin with, so that killing the writer mid-write is likely.
  HistoryMap initial;
  for (const char* window : {"five_hour", "seven_day", "seven_day_opus", "seven_day_sonnet"}) {
    auto& series = initial[HistoryKey{ServiceID::claude, window}];
    for (int i = 0; i < 1000; ++i) {
      series.push_back(HistoryEntry{ServiceID::claude, window, double(i % 100), fromEpochSeconds(kSeedStart + 61.0 * i),
                                    fromEpochSeconds(kSeedStart + 61.0 * i + 3600)});
    }
  }
  sandbox.writeFile("data/Quotabox/history.json", QByteArray::fromStdString(HistoryCodec::encode(initial)));

  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> delay(5, 60);

  std::size_t previousCount = 4000;
  int kills = 0;
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);  // stdout carries the ready line
    process.start(child, {QString::fromStdString(file().string())});
    ASSERT_TRUE(process.waitForStarted());
    ASSERT_TRUE(process.waitForReadyRead(10000)) << "child never got ready";
    spinFor(std::chrono::milliseconds(delay(random)));
    // The writer loops forever; if it is gone already, it failed on its own.
    ASSERT_EQ(process.state(), QProcess::Running) << "child exited with " << process.exitCode();
    process.kill();
    ASSERT_TRUE(process.waitForFinished());
    ++kills;

    ASSERT_TRUE(fs::exists(file())) << "history disappeared";
    const auto json = nlohmann::json::parse(readAll(file()));
    ASSERT_EQ(json.at("version"), 1);
    const auto& elements = json.at("entries");
    ASSERT_TRUE(elements.is_array());
    ASSERT_FALSE(elements.empty());
    for (const auto& element : elements) ASSERT_TRUE(element.get<HistoryEntry>().isRecordable());
    // Every completed write only adds samples, so a shrinking file means a lost write.
    ASSERT_GE(elements.size(), previousCount);
    previousCount = elements.size();

    double latest = 0;
    for (const auto& element : elements) latest = std::max(latest, element.at("at").get<double>());
    HistoryStore fresh(file());
    const auto snapshot = awaitFuture(fresh.load(fromEpochSeconds(latest)));
    std::size_t loaded = 0;
    for (const auto& [key, series] : snapshot.entries) {
      loaded += series.size();
      for (const auto& entry : series) ASSERT_NE(entry.usedPercent, kDecoyPercent);
    }
    EXPECT_EQ(loaded, elements.size());
    ASSERT_FALSE(anyBackup());
  }
  EXPECT_EQ(kills, 40);
  // The writer must actually have got its writes in for the test to mean anything.
  EXPECT_GT(previousCount, 4000u);
}
