#include "store/UsageStore.h"

#include <QPromise>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>

#include "model/CoreLog.h"
#include "model/PreviewingProvider.h"
#include "store/FutureWatch.h"

namespace {

// Milliseconds of one pause of the loop: never below a second, NaN counting as the minimum.
int pauseMilliseconds(double seconds) {
  if (!(seconds >= 1)) return 1000;
  const double ms = seconds * 1000;
  return ms >= double(INT_MAX) ? INT_MAX : int(std::llround(ms));
}

const char* const staleMetricID = "stale";

}  // namespace

struct UsageStore::Loop {
  std::stop_source stop;
};

struct UsageStore::Run {
  std::stop_token cancel;      // the loop's token; never stops for a direct refresh
  std::stop_source fetchStop;  // what the providers see: cancellation or the store going away
  std::optional<std::stop_callback<std::function<void()>>> forwardCancel;
  std::size_t pending = 0;
  long long generation = 0;
  bool recordingBlocked = false;
  std::vector<HistoryEntry> entries;
  QPromise<void> done;
};

UsageStore::UsageStore(std::vector<std::shared_ptr<UsageProvider>> providers, std::shared_ptr<HistoryStore> history,
                       Clock clock, std::shared_ptr<const TrendSource> trends, QObject* parent)
    : QObject(parent),
      m_providers(std::move(providers)),
      m_historyStore(std::move(history)),
      m_clock(std::move(clock)),
      m_trends(std::move(trends)) {
  if (!m_clock) m_clock = systemNow;
  if (!m_historyStore) m_historyStore = std::make_shared<HistoryStore>(std::nullopt);
  if (!m_trends) m_trends = std::make_shared<HistoryTrends>();
  // Every provider fetches at the same time, with room for one blocking side task (a credentials read).
  m_pool.setMaxThreadCount(int(m_providers.size()) + 1);
  for (const auto& provider : m_providers) {
    provider->useLauncher([pool = &m_pool](std::function<void()> task) { pool->start(std::move(task)); });
  }
  m_timer = new QTimer(this);
  m_timer->setObjectName(QStringLiteral("refreshTimer"));
  m_timer->setSingleShot(true);
  m_timer->setTimerType(Qt::PreciseTimer);
  connect(m_timer, &QTimer::timeout, this, [this] {
    if (m_loop) runLoopStep(m_loop);
  });
  m_queuedTimer = new QTimer(this);
  m_queuedTimer->setSingleShot(true);
  m_queuedTimer->setTimerType(Qt::PreciseTimer);
  connect(m_queuedTimer, &QTimer::timeout, this, [this] { startQueuedRefresh(true); });
  loadHistory();
}

UsageStore::UsageStore(std::vector<std::shared_ptr<UsageProvider>> providers, QObject* parent)
    : UsageStore(std::move(providers), nullptr, systemNow, nullptr, parent) {}

UsageStore::~UsageStore() {
  if (m_loop) m_loop->stop.request_stop();
  // Providers that honour the token return early; their results are never applied.
  if (m_run) m_run->fetchStop.request_stop();
  m_pool.waitForDone();
  for (const auto& provider : m_providers) provider->useLauncher({});
}

void UsageStore::setRefreshInterval(double seconds) {
  if (std::isnan(seconds) || seconds == m_refreshInterval) return;
  m_refreshInterval = seconds;
  emit refreshIntervalChanged();
}

void UsageStore::setIsRefreshing(bool value) {
  if (value == m_isRefreshing) return;
  m_isRefreshing = value;
  emit isRefreshingChanged();
}

void UsageStore::setLastRefresh(TimePoint value) {
  if (m_lastRefresh == value) return;
  m_lastRefresh = value;
  emit lastRefreshChanged();
}

void UsageStore::start() {
  if (m_loop) return;
  m_loop = std::make_shared<Loop>();
  runLoopStep(m_loop);
}

void UsageStore::stop() {
  if (!m_loop) return;
  m_loop->stop.request_stop();
  m_loop.reset();
  m_timer->stop();
}

void UsageStore::runLoopStep(const std::shared_ptr<Loop>& loop) {
  if (loop->stop.stop_requested()) return;
  const QFuture<void> refreshed = startRefresh(loop->stop.get_token());
  whenFinished(refreshed, this, [this, loop](const QFuture<void>&) {
    // A stopped loop ends here; a new one has its own steps.
    if (loop->stop.stop_requested()) return;
    m_timer->start(pauseMilliseconds(m_refreshInterval));
  });
}

QFuture<void> UsageStore::refresh() { return startRefresh(std::stop_token()); }

void UsageStore::requestRefresh() {
  m_refreshQueued = true;
  startQueuedRefresh();
}

void UsageStore::startQueuedRefresh(bool waited) {
  // A running refresh takes it up when it ends.
  if (!m_refreshQueued || m_isRefreshing) return;
  const double spacing = std::chrono::duration<double>(m_manualSpacing).count();
  const double since =
      m_lastRequestedStart ? toEpochSeconds(m_clock()) - toEpochSeconds(*m_lastRequestedStart) : spacing;
  if (!waited && since >= 0 && since < spacing) {
    if (!m_queuedTimer->isActive()) m_queuedTimer->start(int(std::ceil((spacing - since) * 1000)));
    return;
  }
  m_queuedTimer->stop();
  m_refreshQueued = false;
  m_lastRequestedStart = m_clock();
  refresh();
}

QFuture<void> UsageStore::startRefresh(std::stop_token cancel) {
  if (m_isRefreshing) return QtFuture::makeReadyFuture();

  auto run = std::make_shared<Run>();
  run->cancel = cancel;
  run->forwardCancel.emplace(cancel, [run = run.get()] { run->fetchStop.request_stop(); });
  run->pending = m_providers.size();
  run->generation = m_historyGeneration;
  run->recordingBlocked = !m_historyEnabled || m_isClearingHistory || m_historyClearFailed;
  run->done.start();
  QFuture<void> finished = run->done.future();
  m_run = run;
  setIsRefreshing(true);

  if (m_providers.empty()) {
    finishFetches(run);
    return finished;
  }
  const std::stop_token token = run->fetchStop.get_token();
  for (const auto& provider : m_providers) {
    QFuture<std::optional<ServiceUsage>> fetched =
        QtConcurrent::run(&m_pool, [this, run, provider, token]() -> std::optional<ServiceUsage> {
          try {
            if (auto* previewing = dynamic_cast<PreviewingProvider*>(provider.get())) {
              // An early result is shown at once while its refresh runs; only the final one is recorded.
              return previewing->fetchWithPreview(token, [this, run](const ServiceUsage& early) {
                QMetaObject::invokeMethod(
                    this,
                    [this, run, early] {
                      if (m_run != run || run->cancel.stop_requested() || !early.status.isOk()) return;
                      std::vector<HistoryEntry> notRecorded;
                      apply(early, notRecorded);
                    },
                    Qt::QueuedConnection);
              });
            }
            return provider->fetch(token);
          } catch (...) {
            // A provider must not throw; if one does, its result is simply missing.
            qCWarning(coreLog) << "fetch of" << ServiceIDs::id(provider->service()).c_str() << "threw; no result";
            return std::nullopt;
          }
        });
    whenFinished(fetched, this, [this, run](const QFuture<std::optional<ServiceUsage>>& future) {
      std::optional<ServiceUsage> result;
      if (auto value = finishedResult(future)) result = std::move(*value);
      takeResult(run, std::move(result));
    });
  }
  return finished;
}

void UsageStore::takeResult(const std::shared_ptr<Run>& run, std::optional<ServiceUsage> result) {
  if (result && !run->cancel.stop_requested()) apply(std::move(*result), run->entries);
  if (--run->pending == 0) finishFetches(run);
}

void UsageStore::apply(ServiceUsage result, std::vector<HistoryEntry>& entries) {
  const ServiceID service = result.service;
  const auto previous = m_usages.find(service);
  ServiceUsage next;
  if (result.status.isOk()) {
    for (const auto& window : result.windows) {
      entries.push_back({service, window.id, window.usedPercent, result.fetchedAt, window.resetsAt});
    }
    next = std::move(result);
  } else if (previous == m_usages.end() || (!previous->second.status.isOk() && previous->second.windows.empty())) {
    next = std::move(result);
  } else {
    // Keep the last good values on screen, marked as such.
    next = previous->second;
    next.status = std::move(result.status);
    std::erase_if(next.metrics, [](const UsageMetric& metric) { return metric.id == staleMetricID; });
    next.metrics.push_back({staleMetricID, "이전 기록", "갱신 실패 · 마지막 성공값이에요"});
  }
  if (previous != m_usages.end() && previous->second == next) return;
  m_usages.insert_or_assign(service, std::move(next));
  emit usagesChanged();
  emit trendInputsChanged();
}

void UsageStore::finishFetches(const std::shared_ptr<Run>& run) {
  if (run->cancel.stop_requested()) {
    endRefresh(run);
    return;
  }
  setLastRefresh(m_clock());
  const std::optional<QFuture<void>> history =
      historyAfterRefresh(run->recordingBlocked, run->generation, std::move(run->entries), run->cancel);
  if (!history) {
    endRefresh(run);
    return;
  }
  whenFinished(*history, this, [this, run](const QFuture<void>&) { endRefresh(run); });
}

void UsageStore::endRefresh(const std::shared_ptr<Run>& run) {
  if (m_run == run) m_run.reset();
  setIsRefreshing(false);
  run->done.finish();
  startQueuedRefresh();
}
