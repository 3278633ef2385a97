#pragma once

#include <QObject>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "appmodel/LaunchOptions.h"
#include "login/LoginItemControlling.h"
#include "model/ServiceUsage.h"
#include "notifications/ThresholdNotifier.h"
#include "settings/AppSettings.h"
#include "settings/SettingsDomain.h"
#include "store/UsageStore.h"
#include "trends/WindowTrend.h"

// The one object the views hold: owns the store, settings, notifier and login item, keeps the
// popover's state between openings, and decides when to refresh and when to notify. Main thread.
class AppModel : public QObject {
  Q_OBJECT

 public:
  enum class Page { usage, settings };
  enum class HistoryClearStage { idle, confirming, done };

  // The parts a test or a report may replace; absent parts are built as the running app builds
  // them, except that a notifier built here has no notification centre.
  struct Parts {
    std::unique_ptr<UsageStore> store;
    std::shared_ptr<LoginItemControlling> loginItem;
    std::unique_ptr<ThresholdNotifier> notifier;
    Clock clock;
  };

  // The desktop program's model, notifying through the platform's notification centre. Defined in
  // the desktop library: the centre talks D-Bus, which GUI-free programs do not link.
  AppModel(LaunchOptions options, std::shared_ptr<SettingsDomain> defaults, QObject* parent = nullptr);
  AppModel(LaunchOptions options, std::shared_ptr<SettingsDomain> defaults, Parts parts, QObject* parent = nullptr);
  ~AppModel() override;

  // Where the notifier keeps what it has notified: "live", or "mock" for demonstration data.
  static QString notifierNamespace(const LaunchOptions& options);

  UsageStore& store() const { return *m_store; }
  AppSettings& settings() const { return *m_settings; }
  ThresholdNotifier& notifier() const { return *m_notifier; }
  LoginItemControlling& loginItem() const { return *m_loginItem; }
  const LaunchOptions& options() const { return m_options; }
  // The model's clock: what the views take as the current time.
  TimePoint now() const { return m_clock(); }

  Page page() const { return m_page; }
  void setPage(Page page);
  const std::set<std::string>& expandedTrends() const { return m_expandedTrends; }
  HistoryClearStage historyClear() const { return m_historyClear; }
  void setHistoryClear(HistoryClearStage stage);
  const std::optional<QString>& loginItemError() const { return m_loginItemError; }
  int loginItemRevision() const { return m_loginItemRevision; }

  void start();
  void refreshNow();
  void popoverDidAppear();
  void popoverDidDisappear();
  void setNotificationsEnabled(bool enabled);
  void setLaunchAtLogin(bool enabled);
  void confirmClearHistory();
  void toggleTrend(ServiceID service, const std::string& windowID);
  WindowTrend trend(ServiceID service, const std::string& windowID) const;
  std::vector<std::pair<ServiceID, std::optional<ServiceUsage>>> orderedUsages() const;

  // Settings that involve the model's parts, applied so that store and settings agree.
  void applyRefreshInterval(double seconds);
  void applyHistoryEnabled(bool enabled);

  // Key of an expanded trend row: "<service>.<window id>".
  static std::string trendKey(ServiceID service, const std::string& windowID);

 signals:
  void pageChanged();
  void expandedTrendsChanged();
  void historyClearChanged();
  void loginItemErrorChanged();
  void loginItemRevisionChanged();
  // After each evaluation of the thresholds.
  void notificationsEvaluated();

 private:
  void observeStore();
  void evaluateNotifications();
  void requestNotificationPermission();
  void setExpandedTrends(std::set<std::string> keys);
  void setLoginItemError(std::optional<QString> message);

  LaunchOptions m_options;
  Clock m_clock;
  std::unique_ptr<UsageStore> m_store;
  std::unique_ptr<AppSettings> m_settings;
  std::unique_ptr<ThresholdNotifier> m_notifier;
  std::shared_ptr<LoginItemControlling> m_loginItem;

  Page m_page = Page::usage;
  std::set<std::string> m_expandedTrends;
  HistoryClearStage m_historyClear = HistoryClearStage::idle;
  std::optional<QString> m_loginItemError;
  int m_loginItemRevision = 0;
  bool m_observing = false;
};
