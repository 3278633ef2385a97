#include <gtest/gtest.h>

#include <QFile>
#include <nlohmann/json.hpp>
#include <vector>

#include "TestSandbox.h"
#include "settings/AppSettings.h"

namespace {
std::string text(bool on) { return on ? "on" : "off"; }
std::string text(int percent) { return std::to_string(percent); }
std::string text(double seconds) { return std::to_string(int(seconds)); }
std::string text(MenuBarStyle style) { return MenuBarStyles::rawValue(style).toStdString(); }

// Records the NOTIFY signals in the order they came, with the value they carried.
using Events = std::vector<std::string>;
void logSignals(AppSettings& s, Events& events) {
  const auto log = [&](auto signal, const char* name) {
    QObject::connect(&s, signal, [&events, name](auto v) { events.push_back(name + ("=" + text(v))); });
  };
  log(&AppSettings::refreshIntervalChanged, "interval");
  log(&AppSettings::menuBarStyleChanged, "style");
  log(&AppSettings::notificationsEnabledChanged, "notifications");
  log(&AppSettings::showTrendsChanged, "trends");
  log(&AppSettings::historyEnabledChanged, "history");
  log(&AppSettings::warningThresholdChanged, "warning");
  log(&AppSettings::criticalThresholdChanged, "critical");
}

// Every choice in one line: "interval style notifications trends history warning/critical".
std::string summary(const AppSettings& s) {
  return text(s.refreshInterval()) + " " + text(s.menuBarStyle()) + " " + std::to_string(s.notificationsEnabled()) +
         std::to_string(s.showTrends()) + std::to_string(s.historyEnabled()) + " " + text(s.warningThreshold()) + "/" +
         text(s.criticalThreshold());
}

class AppSettingsTest : public SandboxedTest {
 protected:
  std::shared_ptr<SettingsDomain> defaults = SettingsDomain::standard();

  // Settings as a hand-edited or foreign file would hold them.
  std::string loaded(const char* jsonText) {
    sandbox.writeFile(".config/Quotabox/com.orrisfen.Quotabox.json", jsonText);
    return summary(AppSettings(SettingsDomain::standard()));
  }
  nlohmann::json onDisk() const {
    QFile file(defaults->filePath());
    if (!file.open(QIODevice::ReadOnly)) return nullptr;
    return nlohmann::json::parse(file.readAll().toStdString());
  }
};
}  // namespace

TEST_F(AppSettingsTest, StoredValuesAreUsedOnlyWhenTheyAreChoices) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"refreshInterval": 900.0, "menuBarStyle": "icon", "notificationsEnabled": false, "showTrends": false,
           "historyEnabled": false, "warningThreshold": 50, "criticalThreshold": 80})",
       "900 icon 000 50/80"},
      // Warning 65 is not a choice and becomes 70; critical 85 is still above it and stays.
      {R"({"refreshInterval": 90, "menuBarStyle": "Both", "notificationsEnabled": "false", "showTrends": 0,
           "historyEnabled": null, "warningThreshold": 65, "criticalThreshold": 85})",
       "120 both 111 70/85"},
      {R"({"menuBarStyle": " percent"})", "120 both 111 70/90"},
      // Integer and double are the same number; numeric text reads; fractions of a threshold truncate.
      {R"({"refreshInterval": 300, "warningThreshold": 60.0, "criticalThreshold": "95"})", "300 both 111 60/95"},
      {R"({"refreshInterval": 300.5, "warningThreshold": 80.9, "criticalThreshold": true})", "120 both 111 80/90"},
      // A critical not above the warning loads as 90.
      {R"({"warningThreshold": 80, "criticalThreshold": 80})", "120 both 111 80/90"},
  };
  for (const auto& [json, expected] : cases) {
    EXPECT_EQ(loaded(json), expected) << json;
    EXPECT_EQ(onDisk(), nlohmann::json::parse(json)) << "loading must not rewrite the values";
  }
}

TEST_F(AppSettingsTest, EveryAssignmentIsWrittenWithItsTypeButNotifiesOnlyOnChange) {
  AppSettings settings(defaults);
  EXPECT_FALSE(QFile::exists(defaults->filePath()));  // defaults are not written
  Events events;
  logSignals(settings, events);
  settings.setRefreshInterval(120);
  settings.setMenuBarStyle(MenuBarStyle::both);
  settings.setNotificationsEnabled(true);
  settings.setWarningThreshold(70);
  settings.setCriticalThreshold(90);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(onDisk(), nlohmann::json::parse(R"({"refreshInterval": 120.0, "menuBarStyle": "both",
      "notificationsEnabled": true, "warningThreshold": 70, "criticalThreshold": 90})"));
  EXPECT_TRUE(onDisk()["refreshInterval"].is_number_float());
  EXPECT_TRUE(onDisk()["warningThreshold"].is_number_integer());

  settings.setRefreshInterval(600);
  settings.setMenuBarStyle(MenuBarStyle::percent);
  settings.setShowTrends(false);
  settings.setHistoryEnabled(false);
  settings.setNotificationsEnabled(false);
  EXPECT_EQ(events, (Events{"interval=600", "style=percent", "trends=off", "history=off", "notifications=off"}));
  EXPECT_EQ(summary(AppSettings(SettingsDomain::standard())), "600 percent 000 70/90");
}

TEST_F(AppSettingsTest, ThresholdCollisionsMoveTheOtherThresholdToTheNextChoice) {
  AppSettings settings(defaults);
  Events events;
  logSignals(settings, events);
  settings.setWarningThreshold(97);   // above every critical choice: critical 95, then warning 80
  settings.setCriticalThreshold(40);  // below every warning choice: warning 50, then critical 80
  EXPECT_EQ(events, (Events{"warning=97", "critical=95", "warning=80", "critical=40", "warning=50", "critical=80"}));
  EXPECT_EQ(summary(AppSettings(SettingsDomain::standard())), "120 both 111 50/80");

  // Without a collision the other threshold is taken as given and not rewritten.
  defaults->remove("criticalThreshold");
  settings.setWarningThreshold(65);
  EXPECT_EQ(settings.thresholds(), (Thresholds{65, 80}));
  EXPECT_FALSE(defaults->contains("criticalThreshold"));
}
