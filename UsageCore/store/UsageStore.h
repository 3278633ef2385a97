#pragma once

#include <QFuture>
#include <QObject>
#include <QThreadPool>
#include <QTimer>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <system_error>
#include <vector>

#include "claude/ClaudeUsageTransfer.h"
#include "history/HistoryEntry.h"
#include "history/HistoryStore.h"
#include "mock/MockUsageProvider.h"
#include "model/ServiceID.h"
#include "model/ServiceUsage.h"
#include "model/TimePoint.h"
#include "model/UsageProvider.h"
#include "trends/TrendSource.h"
#include "trends/WindowTrend.h"

using UsageMap = std::map<ServiceID, ServiceUsage>;

// The long-lived owner of usage data: fetches every provider concurrently, keeps the latest usage
// per service (a failed service keeps its last good windows, marked stale), refreshes on a timer
// and records successful fetches into the history. Main thread only.
class UsageStore : public QObject {
  Q_OBJECT
  Q_PROPERTY(UsageMap usages READ usages NOTIFY usagesChanged)
  Q_PROPERTY(bool isRefreshing READ isRefreshing NOTIFY isRefreshingChanged)
  Q_PROPERTY(std::optional<TimePoint> lastRefresh READ lastRefresh NOTIFY lastRefreshChanged)
  Q_PROPERTY(double refreshInterval READ refreshInterval WRITE setRefreshInterval NOTIFY refreshIntervalChanged)
  Q_PROPERTY(bool historyEnabled READ historyEnabled WRITE setHistoryEnabled NOTIFY historyEnabledChanged)
  Q_PROPERTY(bool isClearingHistory READ isClearingHistory NOTIFY isClearingHistoryChanged)
  Q_PROPERTY(bool historyClearFailed READ historyClearFailed NOTIFY historyClearFailedChanged)
  Q_PROPERTY(HistoryMap history READ history NOTIFY historyChanged)

 public:
  // Without a history store the history is kept in memory only; without a trend source trends come
  // from the recorded history.
  UsageStore(std::vector<std::shared_ptr<UsageProvider>> providers, std::shared_ptr<HistoryStore> history,
             Clock clock = systemNow, std::shared_ptr<const TrendSource> trends = nullptr, QObject* parent = nullptr);
  // Memory-only history: nothing is read or written.
  explicit UsageStore(std::vector<std::shared_ptr<UsageProvider>> providers, QObject* parent = nullptr);
  ~UsageStore() override;

  // One scripted provider per service and the scenario's made-up trends; such a store never
  // touches its history.
  static std::unique_ptr<UsageStore> mock(MockUsageProvider::Scenario scenario);
  // The production store: Claude then Codex, the history file in the user's data folder and the
  // system clock. A read-only history loads the file but never changes it (report modes). Claude
  // asks through `claudeRequest`; without one its requests fail as network failures.
  static std::unique_ptr<UsageStore> live(HistoryStore::Access access = HistoryStore::Access::readWrite,
                                          ClaudeUsageRequestFunction claudeRequest = {});

  const UsageMap& usages() const { return m_usages; }
  bool isRefreshing() const { return m_isRefreshing; }
  std::optional<TimePoint> lastRefresh() const { return m_lastRefresh; }
  double refreshInterval() const { return m_refreshInterval; }
  void setRefreshInterval(double seconds);
  bool historyEnabled() const { return m_historyEnabled; }
  void setHistoryEnabled(bool enabled);
  bool isClearingHistory() const { return m_isClearingHistory; }
  bool historyClearFailed() const { return m_historyClearFailed; }
  // Why the history file is not written: a damaged file that could not be moved aside. Empty
  // otherwise; a successful clear or a later move ends it.
  std::error_code historyFileError() const { return m_historyFileError; }
  const HistoryMap& history() const { return m_history; }

  // Whether the refresh loop runs.
  bool isRunning() const { return m_loop != nullptr; }
  const std::vector<std::shared_ptr<UsageProvider>>& providers() const { return m_providers; }

  // Refreshes at once, then every refreshInterval seconds (at least 1). No effect when running.
  void start();
  // Ends the loop and cancels the refresh it is waiting for.
  void stop();
  // One refresh of all providers. Returns a finished future at once when a refresh is running.
  QFuture<void> refresh();
  // A refresh asked for by hand (button, tray, signal). Coalesced: at most one runs and one more
  // waits, and requested refreshes start at least manualRefreshSpacing apart, so a flood of
  // requests reaches the network a handful of times. The spacing is read on the store's clock; a
  // clock that went back counts as the spacing passed.
  void requestRefresh();
  // Whether a requested refresh is waiting for its turn.
  bool hasQueuedRefresh() const { return m_refreshQueued; }
  static constexpr std::chrono::milliseconds kManualRefreshSpacing{10000};
  void setManualRefreshSpacing(std::chrono::milliseconds spacing) { m_manualSpacing = spacing; }
  // Empties the history (memory and file); recording pauses until the clear succeeds.
  void clearHistory();

  // The forecast of one window from the store's trend source; insufficient while recording is off.
  WindowTrend trend(ServiceID service, const std::string& windowID) const;

 signals:
  void usagesChanged();
  void isRefreshingChanged();
  void lastRefreshChanged();
  void refreshIntervalChanged();
  void historyEnabledChanged();
  void isClearingHistoryChanged();
  void historyClearFailedChanged();
  void historyFileErrorChanged();
  void historyChanged();
  // Anything trend() reads has changed (history, usages, recording).
  void trendInputsChanged();

 private:
  struct Loop;
  struct Run;

  QFuture<void> startRefresh(std::stop_token cancel);
  void runLoopStep(const std::shared_ptr<Loop>& loop);
  void takeResult(const std::shared_ptr<Run>& run, std::optional<ServiceUsage> result);
  void apply(ServiceUsage result, std::vector<HistoryEntry>& entries);
  void finishFetches(const std::shared_ptr<Run>& run);
  void endRefresh(const std::shared_ptr<Run>& run);
  // Starts the waiting requested refresh once the spacing has passed; `waited` when its timer fired.
  void startQueuedRefresh(bool waited = false);
  void setIsRefreshing(bool value);
  void setLastRefresh(TimePoint value);

  // History side.
  void loadHistory();
  // The recording or maintenance step after a refresh; nothing when the trend source keeps no history.
  std::optional<QFuture<void>> historyAfterRefresh(bool recordingBlocked, long long generation,
                                                   std::vector<HistoryEntry> entries, std::stop_token cancel);
  QFuture<void> recordHistory(std::vector<HistoryEntry> entries, long long generation, std::stop_token cancel);
  QFuture<void> maintainHistory(long long generation);
  // Runs `next` now, or once the pending clear has finished.
  void afterPendingClear(std::function<void()> next);
  void applySnapshot(long long generation, const HistoryStore::Snapshot& snapshot);
  void setHistory(HistoryMap history);
  void setIsClearingHistory(bool value);
  void setHistoryClearFailed(bool value);
  void setHistoryFileError(std::error_code error);

  std::vector<std::shared_ptr<UsageProvider>> m_providers;
  std::shared_ptr<HistoryStore> m_historyStore;
  Clock m_clock;
  std::shared_ptr<const TrendSource> m_trends;

  UsageMap m_usages;
  bool m_isRefreshing = false;
  std::optional<TimePoint> m_lastRefresh;
  double m_refreshInterval = 120;
  bool m_historyEnabled = true;
  bool m_isClearingHistory = false;
  bool m_historyClearFailed = false;
  std::error_code m_historyFileError;
  HistoryMap m_history;

  long long m_historyGeneration = 0;
  long long m_appliedHistoryVersion = -1;
  std::optional<QFuture<void>> m_pendingClear;
  long long m_clearGeneration = 0;

  std::shared_ptr<Loop> m_loop;  // present while the loop runs
  QTimer* m_timer = nullptr;     // the loop's pause
  // Requested refreshes: the one waiting, its timer, and when the last one started.
  bool m_refreshQueued = false;
  QTimer* m_queuedTimer = nullptr;
  std::optional<TimePoint> m_lastRequestedStart;
  std::chrono::milliseconds m_manualSpacing = kManualRefreshSpacing;
  std::shared_ptr<Run> m_run;  // the refresh in progress
  QThreadPool m_pool;          // provider fetches; never the shared global pool
};
