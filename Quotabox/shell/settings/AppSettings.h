#pragma once

#include <QObject>
#include <array>
#include <memory>

#include "settings/MenuBarStyle.h"
#include "settings/SettingsDomain.h"
#include "settings/UsageLevel.h"

// The user's choices, read and validated once from a settings domain and written back on every
// assignment. Signals fire only on change. Keeps warningThreshold < criticalThreshold.
// Main thread only.
class AppSettings : public QObject {
  Q_OBJECT
  Q_PROPERTY(double refreshInterval READ refreshInterval WRITE setRefreshInterval NOTIFY refreshIntervalChanged)
  Q_PROPERTY(MenuBarStyle menuBarStyle READ menuBarStyle WRITE setMenuBarStyle NOTIFY menuBarStyleChanged)
  Q_PROPERTY(bool notificationsEnabled READ notificationsEnabled WRITE setNotificationsEnabled NOTIFY
                 notificationsEnabledChanged)
  Q_PROPERTY(bool showTrends READ showTrends WRITE setShowTrends NOTIFY showTrendsChanged)
  Q_PROPERTY(bool historyEnabled READ historyEnabled WRITE setHistoryEnabled NOTIFY historyEnabledChanged)
  Q_PROPERTY(int warningThreshold READ warningThreshold WRITE setWarningThreshold NOTIFY warningThresholdChanged)
  Q_PROPERTY(int criticalThreshold READ criticalThreshold WRITE setCriticalThreshold NOTIFY criticalThresholdChanged)

 public:
  // Offered by the settings page, in this order.
  static constexpr std::array<double, 5> refreshChoices{60, 120, 300, 600, 900};
  static constexpr std::array<int, 4> warningChoices{50, 60, 70, 80};
  static constexpr std::array<int, 4> criticalChoices{80, 85, 90, 95};

  // Reads every key; invalid or foreign values fall back to their defaults. Writes nothing.
  explicit AppSettings(std::shared_ptr<SettingsDomain> defaults, QObject* parent = nullptr);

  const std::shared_ptr<SettingsDomain>& defaults() const { return m_defaults; }

  double refreshInterval() const { return m_refreshInterval; }
  MenuBarStyle menuBarStyle() const { return m_menuBarStyle; }
  bool notificationsEnabled() const { return m_notificationsEnabled; }
  bool showTrends() const { return m_showTrends; }
  bool historyEnabled() const { return m_historyEnabled; }
  int warningThreshold() const { return m_warningThreshold; }
  int criticalThreshold() const { return m_criticalThreshold; }
  Thresholds thresholds() const { return {m_warningThreshold, m_criticalThreshold}; }

  // Every assignment is written, even when it repeats the current value. Values are not checked
  // against the choice lists; a non-finite interval is ignored.
  void setRefreshInterval(double seconds);
  void setMenuBarStyle(MenuBarStyle style);
  void setNotificationsEnabled(bool enabled);
  void setShowTrends(bool enabled);
  void setHistoryEnabled(bool enabled);
  // Raises criticalThreshold when it is no longer above the warning threshold.
  void setWarningThreshold(int percent);
  // Lowers warningThreshold when it is no longer below the critical threshold.
  void setCriticalThreshold(int percent);

 signals:
  void refreshIntervalChanged(double seconds);
  void menuBarStyleChanged(MenuBarStyle style);
  void notificationsEnabledChanged(bool enabled);
  void showTrendsChanged(bool enabled);
  void historyEnabledChanged(bool enabled);
  void warningThresholdChanged(int percent);
  void criticalThresholdChanged(int percent);

 private:
  std::shared_ptr<SettingsDomain> m_defaults;
  double m_refreshInterval;
  MenuBarStyle m_menuBarStyle;
  bool m_notificationsEnabled;
  bool m_showTrends;
  bool m_historyEnabled;
  int m_warningThreshold;
  int m_criticalThreshold;
};
