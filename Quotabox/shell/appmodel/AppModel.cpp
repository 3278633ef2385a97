#include "appmodel/AppModel.h"

#include <QTimer>

#include "appmodel/ShellLog.h"
#include "login/LoginItemError.h"
#include "platform/SystemLoginItem.h"

namespace {
const QString kLoginItemGeneralError =
    QStringLiteral("로그인 항목을 변경하지 못했어요. 앱을 ‘응용 프로그램’ 폴더에서 실행했는지 확인해 주세요.");
}  // namespace

AppModel::AppModel(LaunchOptions options, std::shared_ptr<SettingsDomain> defaults, Parts parts, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_clock(parts.clock ? parts.clock : Clock(systemNow)) {
  m_store = parts.store ? std::move(parts.store) : m_options.makeStore();
  m_settings = std::make_unique<AppSettings>(defaults);
  m_notifier = parts.notifier ? std::move(parts.notifier)
                              : std::make_unique<ThresholdNotifier>(defaults, notifierNamespace(m_options), nullptr);
  m_loginItem = parts.loginItem ? std::move(parts.loginItem) : SystemLoginItem::make();
  m_store->setHistoryEnabled(m_settings->historyEnabled());
}

AppModel::~AppModel() = default;

QString AppModel::notifierNamespace(const LaunchOptions& options) {
  return options.source.kind == LaunchOptions::Source::Kind::live ? QStringLiteral("live") : QStringLiteral("mock");
}

std::string AppModel::trendKey(ServiceID service, const std::string& windowID) {
  return ServiceIDs::id(service) + "." + windowID;
}

void AppModel::setPage(Page page) {
  if (m_page != page) {
    m_page = page;
    emit pageChanged();
  }
  if (m_page != Page::settings && m_historyClear != HistoryClearStage::idle) setHistoryClear(HistoryClearStage::idle);
}

void AppModel::setHistoryClear(HistoryClearStage stage) {
  if (m_historyClear == stage) return;
  m_historyClear = stage;
  emit historyClearChanged();
}

void AppModel::setExpandedTrends(std::set<std::string> keys) {
  // Always notifies: closing the popover and clearing history both rely on it.
  m_expandedTrends = std::move(keys);
  emit expandedTrendsChanged();
}

void AppModel::setLoginItemError(std::optional<QString> message) {
  if (m_loginItemError == message) return;
  m_loginItemError = std::move(message);
  emit loginItemErrorChanged();
}

void AppModel::start() {
  m_store->setRefreshInterval(m_settings->refreshInterval());
  m_store->start();
  observeStore();
  QTimer::singleShot(0, this, [this] {
    m_notifier->refreshAuthorization();
    if (m_settings->notificationsEnabled() &&
        m_notifier->authorization() == ThresholdNotifier::Authorization::notDetermined) {
      requestNotificationPermission();
      return;
    }
    evaluateNotifications();
  });
}

void AppModel::observeStore() {
  if (m_observing) return;
  m_observing = true;
  // Queued, so each completed refresh leads to exactly one evaluation after the store settles.
  connect(m_store.get(), &UsageStore::lastRefreshChanged, this, &AppModel::evaluateNotifications, Qt::QueuedConnection);
}

void AppModel::evaluateNotifications() {
  std::vector<ServiceUsage> usages;
  for (const auto& [service, usage] : m_store->usages()) usages.push_back(usage);
  const Thresholds thresholds{m_settings->warningThreshold(), m_settings->criticalThreshold()};
  m_notifier->evaluate(usages, thresholds, m_settings->notificationsEnabled(), m_clock());
  emit notificationsEvaluated();
}

void AppModel::refreshNow() { m_store->requestRefresh(); }

void AppModel::popoverDidAppear() {
  if (const auto last = m_store->lastRefresh()) {
    if (toEpochSeconds(m_clock()) - toEpochSeconds(*last) < 60) return;
  }
  refreshNow();
}

void AppModel::popoverDidDisappear() {
  setPage(Page::usage);
  setHistoryClear(HistoryClearStage::idle);
  setExpandedTrends({});
}

void AppModel::confirmClearHistory() {
  m_store->clearHistory();
  setExpandedTrends({});
  setHistoryClear(HistoryClearStage::done);
}

void AppModel::toggleTrend(ServiceID service, const std::string& windowID) {
  const std::string key = trendKey(service, windowID);
  setExpandedTrends(m_expandedTrends.count(key) ? std::set<std::string>{} : std::set<std::string>{key});
}

WindowTrend AppModel::trend(ServiceID service, const std::string& windowID) const {
  return m_store->trend(service, windowID);
}

std::vector<std::pair<ServiceID, std::optional<ServiceUsage>>> AppModel::orderedUsages() const {
  std::vector<std::pair<ServiceID, std::optional<ServiceUsage>>> ordered;
  const auto& usages = m_store->usages();
  for (ServiceID service : ServiceIDs::allCases) {
    const auto it = usages.find(service);
    ordered.emplace_back(service, it == usages.end() ? std::nullopt : std::optional<ServiceUsage>(it->second));
  }
  return ordered;
}

void AppModel::requestNotificationPermission() {
  // Without a notification centre refreshAuthorization() settles on `unsupported`.
  if (m_notifier->hasCenter()) m_notifier->requestAuthorization();
  m_notifier->refreshAuthorization();
  evaluateNotifications();
}

void AppModel::setNotificationsEnabled(bool enabled) {
  m_settings->setNotificationsEnabled(enabled);
  if (enabled) QTimer::singleShot(0, this, [this] { requestNotificationPermission(); });
}

void AppModel::setLaunchAtLogin(bool enabled) {
  try {
    m_loginItem->setEnabled(enabled);
    setLoginItemError(std::nullopt);
  } catch (const LoginItemError& error) {
    setLoginItemError(error.description());
  } catch (const std::exception& error) {
    qCInfo(shellLog) << "launch at login not changed:" << error.what();
    setLoginItemError(kLoginItemGeneralError);
  } catch (...) {
    qCInfo(shellLog) << "launch at login not changed";
    setLoginItemError(kLoginItemGeneralError);
  }
  ++m_loginItemRevision;
  emit loginItemRevisionChanged();
}

void AppModel::applyRefreshInterval(double seconds) {
  if (seconds == m_settings->refreshInterval()) return;
  m_settings->setRefreshInterval(seconds);
  m_store->setRefreshInterval(seconds);
  m_store->stop();
  m_store->start();
}

void AppModel::applyHistoryEnabled(bool enabled) {
  m_settings->setHistoryEnabled(enabled);
  m_store->setHistoryEnabled(enabled);
}
