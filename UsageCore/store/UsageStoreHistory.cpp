// The history side of the store: start-up load, recording after a refresh, clearing, trends.
// History calls hop to the HistoryStore's thread and come back later; a result is applied only if
// no clear or recording switch happened meanwhile (the generation) and it is not older than the
// snapshot already shown (the version).

#include <QCoreApplication>
#include <QPointer>
#include <QPromise>
#include <QTimer>

#include "mock/ScenarioTrends.h"
#include "store/FutureWatch.h"
#include "store/UsageStore.h"

namespace {

// A promise that continuations can share (QPromise itself cannot be copied).
std::shared_ptr<QPromise<void>> startedPromise() {
  auto promise = std::make_shared<QPromise<void>>();
  promise->start();
  return promise;
}

}  // namespace

std::unique_ptr<UsageStore> UsageStore::mock(MockUsageProvider::Scenario scenario) {
  std::vector<std::shared_ptr<UsageProvider>> providers;
  for (const ServiceID service : ServiceIDs::allCases) {
    providers.push_back(std::make_shared<MockUsageProvider>(service, scenario));
  }
  return std::make_unique<UsageStore>(std::move(providers), nullptr, systemNow,
                                      std::make_shared<ScenarioTrends>(scenario));
}

void UsageStore::loadHistory() {
  // Deferred to the event loop and bound to the store: a store dropped before then loads nothing.
  QTimer::singleShot(0, this, [this] {
    if (!m_trends->keepsHistory()) return;
    const long long generation = m_historyGeneration;
    whenFinished(m_historyStore->load(m_clock()), this, [this, generation](const QFuture<HistoryStore::Snapshot>& f) {
      if (auto snapshot = finishedResult(f)) applySnapshot(generation, *snapshot);
    });
  });
}

std::optional<QFuture<void>> UsageStore::historyAfterRefresh(bool recordingBlocked, long long generation,
                                                             std::vector<HistoryEntry> entries,
                                                             std::stop_token cancel) {
  if (!m_trends->keepsHistory()) return std::nullopt;
  if (!recordingBlocked && m_historyEnabled) return recordHistory(std::move(entries), generation, cancel);
  if (m_isClearingHistory || m_historyClearFailed) return std::nullopt;
  // Recording is off: still let old samples age out of the file.
  return maintainHistory(generation);
}

QFuture<void> UsageStore::recordHistory(std::vector<HistoryEntry> entries, long long generation,
                                        std::stop_token cancel) {
  auto promise = startedPromise();
  QFuture<void> done = promise->future();
  afterPendingClear([this, entries = std::move(entries), generation, cancel, promise] {
    if (generation != m_historyGeneration || !m_historyEnabled || m_isClearingHistory || m_historyClearFailed ||
        cancel.stop_requested()) {
      promise->finish();
      return;
    }
    whenFinished(m_historyStore->record(entries, m_clock()), this,
                 [this, generation, promise](const QFuture<HistoryStore::Snapshot>& f) {
                   if (auto snapshot = finishedResult(f)) applySnapshot(generation, *snapshot);
                   promise->finish();
                 });
  });
  return done;
}

QFuture<void> UsageStore::maintainHistory(long long generation) {
  auto promise = startedPromise();
  QFuture<void> done = promise->future();
  afterPendingClear([this, generation, promise] {
    whenFinished(m_historyStore->load(m_clock()), this,
                 [this, generation, promise](const QFuture<HistoryStore::Snapshot>& f) {
                   if (auto snapshot = finishedResult(f)) applySnapshot(generation, *snapshot);
                   promise->finish();
                 });
  });
  return done;
}

void UsageStore::afterPendingClear(std::function<void()> next) {
  if (!m_pendingClear || m_pendingClear->isFinished()) {
    next();
    return;
  }
  whenFinished(*m_pendingClear, this, [next = std::move(next)](const QFuture<void>&) { next(); });
}

void UsageStore::applySnapshot(long long generation, const HistoryStore::Snapshot& snapshot) {
  if (generation != m_historyGeneration) return;
  setHistoryFileError(snapshot.setAsideError);
  if (snapshot.version < m_appliedHistoryVersion) return;
  m_appliedHistoryVersion = snapshot.version;
  setHistory(snapshot.entries);
}

void UsageStore::setHistory(HistoryMap history) {
  if (history == m_history) return;
  m_history = std::move(history);
  emit historyChanged();
  emit trendInputsChanged();
}

void UsageStore::setIsClearingHistory(bool value) {
  if (value == m_isClearingHistory) return;
  m_isClearingHistory = value;
  emit isClearingHistoryChanged();
}

void UsageStore::setHistoryClearFailed(bool value) {
  if (value == m_historyClearFailed) return;
  m_historyClearFailed = value;
  emit historyClearFailedChanged();
}

void UsageStore::setHistoryFileError(std::error_code error) {
  if (error == m_historyFileError) return;
  m_historyFileError = error;
  emit historyFileErrorChanged();
}

void UsageStore::setHistoryEnabled(bool enabled) {
  if (enabled == m_historyEnabled) return;
  m_historyEnabled = enabled;
  // Records and loads started under the old setting are dropped.
  ++m_historyGeneration;
  emit historyEnabledChanged();
  emit trendInputsChanged();
}

void UsageStore::clearHistory() {
  ++m_historyGeneration;
  setHistory({});
  setIsClearingHistory(true);
  setHistoryClearFailed(false);
  const long long generation = m_historyGeneration;
  const std::optional<QFuture<void>> previous = m_pendingClear;

  auto promise = startedPromise();
  m_pendingClear = promise->future();
  m_clearGeneration = generation;

  // The clear outlives the store if need be: its own context object, the store held weakly.
  auto* task = new QObject(QCoreApplication::instance());
  const QPointer<UsageStore> self(this);
  const std::shared_ptr<HistoryStore> historyStore = m_historyStore;
  const auto runClear = [task, self, historyStore, generation, promise] {
    whenFinished(historyStore->clear(), task,
                 [task, self, historyStore, generation, promise](const QFuture<HistoryStore::Snapshot>& f) {
                   const bool failed = historyStore->clearFailed();
                   // A newer clear owns the flags.
                   if (self && self->m_clearGeneration == generation) {
                     if (f.resultCount() > 0) self->setHistoryFileError(f.result().setAsideError);
                     self->setHistoryClearFailed(failed);
                     self->setIsClearingHistory(false);
                   }
                   promise->finish();
                   task->deleteLater();
                 });
  };
  // Clears run strictly one after another.
  if (previous && !previous->isFinished()) {
    whenFinished(*previous, task, [runClear](const QFuture<void>&) { runClear(); });
  } else {
    runClear();
  }
}

WindowTrend UsageStore::trend(ServiceID service, const std::string& windowID) const {
  if (!m_historyEnabled) return WindowTrend::insufficient(service, windowID);
  const auto usage = m_usages.find(service);
  const auto series = m_history.find(HistoryKey{service, windowID});
  const HistorySeries none;
  return m_trends->trend({.service = service,
                          .windowID = windowID,
                          .window = usage == m_usages.end() ? nullptr : usage->second.window(windowID),
                          .series = series == m_history.end() ? none : series->second,
                          .now = m_clock()});
}
