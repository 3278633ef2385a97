#include <QFile>
#include <QFileInfo>
#include <nlohmann/json.hpp>
#include <vector>

#include "AppSettings.h"
#include "TestSandbox.h"

namespace {

// Counts the NOTIFY signals and records the order in which properties changed.
struct SignalLog {
  std::vector<std::string> events;

  explicit SignalLog(AppSettings& settings) {
    QObject::connect(&settings, &AppSettings::refreshIntervalChanged,
                     [this](double v) { events.push_back("interval=" + std::to_string(int(v))); });
    QObject::connect(&settings, &AppSettings::menuBarStyleChanged,
                     [this](MenuBarStyle s) { events.push_back("style=" + MenuBarStyles::rawValue(s).toStdString()); });
    QObject::connect(&settings, &AppSettings::notificationsEnabledChanged,
                     [this](bool v) { events.push_back(std::string("notifications=") + (v ? "on" : "off")); });
    QObject::connect(&settings, &AppSettings::showTrendsChanged,
                     [this](bool v) { events.push_back(std::string("trends=") + (v ? "on" : "off")); });
    QObject::connect(&settings, &AppSettings::historyEnabledChanged,
                     [this](bool v) { events.push_back(std::string("history=") + (v ? "on" : "off")); });
    QObject::connect(&settings, &AppSettings::warningThresholdChanged,
                     [this](int v) { events.push_back("warning=" + std::to_string(v)); });
    QObject::connect(&settings, &AppSettings::criticalThresholdChanged,
                     [this](int v) { events.push_back("critical=" + std::to_string(v)); });
  }
};

class AppSettingsTest : public SandboxedTest {
 protected:
  std::shared_ptr<SettingsDomain> defaults = SettingsDomain::standard();

  // Settings as a hand-edited or foreign file would hold them.
  void store(const char* jsonText) { sandbox.writeFile(".config/Quotabox/com.orrisfen.Quotabox.json", jsonText); }

  nlohmann::json onDisk() const {
    QFile file(defaults->filePath());
    if (!file.open(QIODevice::ReadOnly)) return nullptr;
    return nlohmann::json::parse(file.readAll().toStdString());
  }
};

}  // namespace

TEST_F(AppSettingsTest, EmptyDefaultsGiveTheDefaultChoicesAndWriteNothing) {
  AppSettings settings(defaults);
  EXPECT_EQ(settings.refreshInterval(), 120);
  EXPECT_EQ(settings.menuBarStyle(), MenuBarStyle::both);
  EXPECT_TRUE(settings.notificationsEnabled());
  EXPECT_TRUE(settings.showTrends());
  EXPECT_TRUE(settings.historyEnabled());
  EXPECT_EQ(settings.warningThreshold(), 70);
  EXPECT_EQ(settings.criticalThreshold(), 90);
  EXPECT_EQ(settings.thresholds(), (Thresholds{70, 90}));
  EXPECT_FALSE(QFile::exists(defaults->filePath()));
}

TEST_F(AppSettingsTest, ValidStoredValuesAreUsed) {
  store(R"({"refreshInterval": 900.0, "menuBarStyle": "icon", "notificationsEnabled": false,
            "showTrends": false, "historyEnabled": false, "warningThreshold": 50, "criticalThreshold": 80})");
  AppSettings settings(SettingsDomain::standard());
  EXPECT_EQ(settings.refreshInterval(), 900);
  EXPECT_EQ(settings.menuBarStyle(), MenuBarStyle::icon);
  EXPECT_FALSE(settings.notificationsEnabled());
  EXPECT_FALSE(settings.showTrends());
  EXPECT_FALSE(settings.historyEnabled());
  EXPECT_EQ(settings.thresholds(), (Thresholds{50, 80}));
}

TEST_F(AppSettingsTest, InvalidStoredValuesFallBackWithoutBeingRewritten) {
  const char* stored = R"({"refreshInterval": 90, "menuBarStyle": "Both", "notificationsEnabled": "false",
                           "showTrends": 0, "historyEnabled": null, "warningThreshold": 65,
                           "criticalThreshold": 85})";
  store(stored);
  AppSettings settings(SettingsDomain::standard());
  EXPECT_EQ(settings.refreshInterval(), 120);
  EXPECT_EQ(settings.menuBarStyle(), MenuBarStyle::both);
  EXPECT_TRUE(settings.notificationsEnabled());
  EXPECT_TRUE(settings.showTrends());
  EXPECT_TRUE(settings.historyEnabled());
  // Warning 65 is not a choice and becomes 70; critical 85 is still above it and stays.
  EXPECT_EQ(settings.thresholds(), (Thresholds{70, 85}));
  EXPECT_EQ(onDisk(), nlohmann::json::parse(stored));
}

TEST_F(AppSettingsTest, StyleMustMatchARawValueExactly) {
  for (const char* text : {R"({"menuBarStyle": "PERCENT"})", R"({"menuBarStyle": " percent"})",
                           R"({"menuBarStyle": "text"})", R"({"menuBarStyle": 1})"}) {
    store(text);
    EXPECT_EQ(AppSettings(SettingsDomain::standard()).menuBarStyle(), MenuBarStyle::both) << text;
  }
  store(R"({"menuBarStyle": "percent"})");
  EXPECT_EQ(AppSettings(SettingsDomain::standard()).menuBarStyle(), MenuBarStyle::percent);
}

TEST_F(AppSettingsTest, NumbersReadAcrossIntegerDoubleAndText) {
  // An integer interval and a whole-number double threshold are the same numbers.
  store(R"({"refreshInterval": 300, "warningThreshold": 60.0, "criticalThreshold": "95"})");
  AppSettings whole(SettingsDomain::standard());
  EXPECT_EQ(whole.refreshInterval(), 300);
  EXPECT_EQ(whole.thresholds(), (Thresholds{60, 95}));

  // A fractional interval is not a choice; a fractional threshold truncates like an integer read.
  store(R"({"refreshInterval": 300.5, "warningThreshold": 80.9, "criticalThreshold": true})");
  AppSettings fractional(SettingsDomain::standard());
  EXPECT_EQ(fractional.refreshInterval(), 120);
  EXPECT_EQ(fractional.thresholds(), (Thresholds{80, 90}));
}

TEST_F(AppSettingsTest, StoredEqualThresholdsLoadAsWarningAndNinety) {
  store(R"({"warningThreshold": 80, "criticalThreshold": 80})");
  EXPECT_EQ(AppSettings(SettingsDomain::standard()).thresholds(), (Thresholds{80, 90}));
  store(R"({"warningThreshold": 80, "criticalThreshold": 70})");
  EXPECT_EQ(AppSettings(SettingsDomain::standard()).thresholds(), (Thresholds{80, 90}));
  store(R"({"criticalThreshold": 87})");
  EXPECT_EQ(AppSettings(SettingsDomain::standard()).thresholds(), (Thresholds{70, 90}));
}

TEST_F(AppSettingsTest, EveryAssignmentIsWrittenWithItsTypeButNotifiesOnlyOnChange) {
  AppSettings settings(defaults);
  SignalLog log(settings);

  settings.setRefreshInterval(120);
  settings.setMenuBarStyle(MenuBarStyle::both);
  settings.setNotificationsEnabled(true);
  settings.setShowTrends(true);
  settings.setHistoryEnabled(true);
  settings.setWarningThreshold(70);
  settings.setCriticalThreshold(90);
  EXPECT_TRUE(log.events.empty());
  const auto written = onDisk();
  EXPECT_EQ(written, nlohmann::json::parse(R"({"refreshInterval": 120.0, "menuBarStyle": "both",
      "notificationsEnabled": true, "showTrends": true, "historyEnabled": true,
      "warningThreshold": 70, "criticalThreshold": 90})"));
  EXPECT_TRUE(written["refreshInterval"].is_number_float());
  EXPECT_TRUE(written["warningThreshold"].is_number_integer());

  settings.setRefreshInterval(600);
  settings.setMenuBarStyle(MenuBarStyle::percent);
  settings.setShowTrends(false);
  settings.setHistoryEnabled(false);
  settings.setNotificationsEnabled(false);
  EXPECT_EQ(log.events, (std::vector<std::string>{"interval=600", "style=percent", "trends=off", "history=off",
                                                  "notifications=off"}));

  AppSettings reread(SettingsDomain::standard());
  EXPECT_EQ(reread.refreshInterval(), 600);
  EXPECT_EQ(reread.menuBarStyle(), MenuBarStyle::percent);
  EXPECT_FALSE(reread.showTrends());
  EXPECT_FALSE(reread.historyEnabled());
  EXPECT_FALSE(reread.notificationsEnabled());
}

TEST_F(AppSettingsTest, RaisingWarningToCriticalPushesCriticalUp) {
  store(R"({"warningThreshold": 60, "criticalThreshold": 80})");
  AppSettings settings(SettingsDomain::standard());
  SignalLog log(settings);
  settings.setWarningThreshold(80);
  EXPECT_EQ(settings.thresholds(), (Thresholds{80, 85}));
  EXPECT_EQ(log.events, (std::vector<std::string>{"warning=80", "critical=85"}));
  EXPECT_EQ(onDisk()["warningThreshold"], 80);
  EXPECT_EQ(onDisk()["criticalThreshold"], 85);
}

TEST_F(AppSettingsTest, LoweringCriticalToWarningPullsWarningDown) {
  store(R"({"warningThreshold": 80, "criticalThreshold": 90})");
  AppSettings settings(SettingsDomain::standard());
  SignalLog log(settings);
  settings.setCriticalThreshold(80);
  EXPECT_EQ(settings.thresholds(), (Thresholds{70, 80}));
  EXPECT_EQ(log.events, (std::vector<std::string>{"critical=80", "warning=70"}));
  EXPECT_EQ(AppSettings(SettingsDomain::standard()).thresholds(), (Thresholds{70, 80}));
}

TEST_F(AppSettingsTest, ThresholdsOutsideTheListsStillEndInOrder) {
  AppSettings settings(defaults);
  settings.setWarningThreshold(97);  // above every critical choice: critical 95, then warning 80
  EXPECT_EQ(settings.thresholds(), (Thresholds{80, 95}));
  settings.setCriticalThreshold(40);  // below every warning choice: warning 50, then critical 80
  EXPECT_EQ(settings.thresholds(), (Thresholds{50, 80}));
  EXPECT_EQ(onDisk()["warningThreshold"], 50);
  EXPECT_EQ(onDisk()["criticalThreshold"], 80);

  // A threshold below the other is taken as given.
  settings.setWarningThreshold(65);
  EXPECT_EQ(settings.thresholds(), (Thresholds{65, 80}));
}

TEST_F(AppSettingsTest, ThresholdsAreCorrectedOnlyOnCollision) {
  AppSettings settings(defaults);
  settings.setCriticalThreshold(80);  // warning 70 < 80: kept
  EXPECT_EQ(settings.thresholds(), (Thresholds{70, 80}));
  defaults->remove("criticalThreshold");
  settings.setWarningThreshold(70);
  EXPECT_FALSE(defaults->contains("criticalThreshold")) << "no collision, so critical is not rewritten";
  EXPECT_EQ(onDisk()["warningThreshold"], 70);
}

TEST(MenuBarStyles, RawValuesRoundTripInOrder) {
  ASSERT_EQ(MenuBarStyles::allCases.size(), 3u);
  EXPECT_EQ(MenuBarStyles::rawValue(MenuBarStyles::allCases[0]), "icon");
  EXPECT_EQ(MenuBarStyles::rawValue(MenuBarStyles::allCases[1]), "percent");
  EXPECT_EQ(MenuBarStyles::rawValue(MenuBarStyles::allCases[2]), "both");
  for (MenuBarStyle style : MenuBarStyles::allCases) {
    EXPECT_EQ(MenuBarStyles::fromRaw(MenuBarStyles::rawValue(style)), style);
  }
  EXPECT_EQ(MenuBarStyles::fromRaw("Icon"), std::nullopt);
  EXPECT_EQ(MenuBarStyles::fromRaw(""), std::nullopt);
}
