// Load and record+persist times of a full history (8 series x 4000 samples), against a bare JSON
// parse of the same bytes measured in the same run.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <vector>

#include "history/HistoryCodec.h"
#include "history/HistoryStore.h"

namespace {

constexpr int kRuns = 9;
constexpr int kSamples = 4000;
constexpr double kStart = 1763400000;
constexpr double kStep = 300;  // 4000 samples span about 14 days

constexpr std::array<std::pair<ServiceID, const char*>, 8> kWindows{{{ServiceID::claude, "five_hour"},
                                                                     {ServiceID::claude, "seven_day"},
                                                                     {ServiceID::claude, "seven_day_opus"},
                                                                     {ServiceID::claude, "seven_day_sonnet"},
                                                                     {ServiceID::claude, "seven_day_oauth_apps"},
                                                                     {ServiceID::claude, "seven_day_cowork"},
                                                                     {ServiceID::codex, "codex_primary"},
                                                                     {ServiceID::codex, "codex_secondary"}}};

double milliseconds(const std::function<void()>& work) {
  const auto begin = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir folder;
  if (!folder.isValid()) return 1;
  const std::filesystem::path file = std::filesystem::path(folder.path().toStdString()) / "Quotabox" / "history.json";
  std::filesystem::create_directories(file.parent_path());

  HistoryMap full;
  for (const auto& [service, window] : kWindows) {
    HistorySeries::Samples samples;
    for (int i = 0; i < kSamples; ++i) {
      const double at = kStart + kStep * i + 0.123;
      samples.push_back(HistorySample{at, (i * 7 % 1000) / 10.0, at + 18000.5});
    }
    full[HistoryKey{service, window}] = HistorySeries(std::move(samples));
  }
  const std::string bytes = HistoryCodec::encode(full);
  const auto writeFull = [&] { std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes; };
  const double now = kStart + kStep * (kSamples - 1);

  std::vector<double> parse;
  std::vector<double> load;
  std::vector<double> recordPersist;
  std::vector<double> decode;
  std::vector<double> encode;
  for (int run = 0; run < kRuns; ++run) {
    parse.push_back(milliseconds([&] {
      const auto json = nlohmann::json::parse(bytes);
      if (json.at("entries").size() != kWindows.size() * kSamples) std::abort();
    }));

    decode.push_back(milliseconds([&] {
      std::size_t count = 0;
      if (!HistoryCodec::decodeLossy(bytes, [&](HistoryEntry&&) { ++count; }) || count == 0) std::abort();
    }));
    encode.push_back(milliseconds([&] {
      if (HistoryCodec::encode(full).size() != bytes.size()) std::abort();
    }));

    writeFull();
    HistoryStore store(file);
    HistoryStore::Snapshot loaded;
    load.push_back(milliseconds([&] { loaded = store.load(fromEpochSeconds(now)).result(); }));
    if (loaded.entries.size() != kWindows.size()) std::abort();

    std::vector<HistoryEntry> incoming{
        HistoryEntry{ServiceID::claude, "five_hour", 99.5, fromEpochSeconds(now + 61), std::nullopt}};
    recordPersist.push_back(
        milliseconds([&] { store.record(std::move(incoming), fromEpochSeconds(now + 61)).waitForFinished(); }));
  }

  const double baseline = median(parse);
  std::printf("history file: %zu bytes, %zu samples\n", bytes.size(), kWindows.size() * kSamples);
  std::printf("baseline json parse     %8.2f ms\n", baseline);
  std::printf("  decode alone          %8.2f ms  %5.2fx baseline\n", median(decode), median(decode) / baseline);
  std::printf("  encode alone          %8.2f ms  %5.2fx baseline\n", median(encode), median(encode) / baseline);
  const double loadMs = median(load), recordMs = median(recordPersist);
  std::printf("load (fresh store)      %8.2f ms  %5.2fx baseline\n", loadMs, loadMs / baseline);
  std::printf("record + persist        %8.2f ms  %5.2fx baseline\n", recordMs, recordMs / baseline);
  const bool loadOk = loadMs < 40 && loadMs <= 0.7 * baseline;
  const bool recordOk = recordMs < 20;
  std::printf("budget load < 40 ms and <= 0.7x a bare parse: %s\n", loadOk ? "met" : "MISSED");
  std::printf("budget record + persist < 20 ms: %s\n", recordOk ? "met" : "MISSED");
  return loadOk && recordOk ? 0 : 1;
}
