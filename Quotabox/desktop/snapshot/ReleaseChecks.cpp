#include "snapshot/ReleaseChecks.h"

#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QUuid>
#include <QWidget>
#include <cstdio>
#include <exception>

#include "appmodel/AppModel.h"
#include "files/AtomicFileWriter.h"
#include "login/LoginItem.h"
#include "login/LoginItemError.h"
#include "mock/MockUsageProvider.h"
#include "platform/SystemLoginItem.h"
#include "platform/XdgAutostart.h"
#include "settings/SettingsDomain.h"
#include "snapshot/DesktopNotice.h"
#include "snapshot/EventWait.h"
#include "snapshot/ReportFile.h"
#include "snapshot/Snapshotter.h"
#include "tray/PopoverWindow.h"

namespace {
const QString kApprovalMessage = QStringLiteral("시스템 설정 → 일반 → 로그인 항목에서 Quotabox 실행을 허용하세요.");
const QString kBundleMessage = QStringLiteral("설치된 Quotabox.app에서 자동 실행을 설정하세요.");
const QString kRoundTripMessage = QStringLiteral("로그인 항목 왕복 검증에 실패했어요.");
constexpr double kScratchInterval = 60;
constexpr int kScratchRefreshTimeoutMs = 10000;
constexpr int kDeliveryPauseMs = 1000;
// Larger than any entry we write; a bigger file is left alone rather than read whole.
constexpr qint64 kEntryLimit = 64 * 1024;

std::string text(const QString& value) { return value.toStdString(); }

// The file's bytes when it is a regular file of reasonable size.
std::optional<QByteArray> regularFileBytes(const QString& path) {
  struct stat info {};
  if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode) ||
      info.st_size > kEntryLimit) {
    return std::nullopt;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return file.read(kEntryLimit);
}

// The popover is the only window of a tray run: a tool window, so nothing shows in the taskbar.
bool trayRunHasNoTaskbarWindow(AppModel& model) {
  const PopoverWindow popover(model, {});
  if ((popover.windowFlags() & Qt::WindowType_Mask) != Qt::Tool) return false;
  for (const QWidget* window : QApplication::topLevelWidgets()) {
    if (window->isVisible() && (window->windowFlags() & Qt::WindowType_Mask) != Qt::Tool) return false;
  }
  return true;
}
}  // namespace

const QString ReleaseChecks::notificationIdentifier = QStringLiteral("usage.release-verification");
const QString ReleaseChecks::suitePrefix = QStringLiteral("Quotabox.release-verification.");

ReleaseChecks::Platform ReleaseChecks::systemPlatform() {
  Platform platform;
  const LoginItemPlatform login = SystemLoginItem::platform();
  platform.bundlePath = login.appPath;
  platform.isAccessory = trayRunHasNoTaskbarWindow;
  platform.loginItem = SystemLoginItem::make();
  platform.loginNativeStatus = [service = login.service] { return static_cast<int>(service->status()); };
  if (const auto* autostart = dynamic_cast<const XdgAutostart*>(login.service.get())) {
    platform.loginEntryFile = autostart->entryPath();
  }
  const auto notice = std::make_shared<DesktopNotice>();
  platform.notificationAuthorization = [notice] { return static_cast<int>(notice->authorization()); };
  platform.postNotification = [notice](const NotificationContent& content) {
    return notice->post(content.title, content.body);
  };
  platform.closeNotification = [notice](quint32 id) { return notice->close(id); };
  platform.makeSuite = [](const QString& name) { return SettingsDomain::suite(name); };
  return platform;
}

void ReleaseChecks::loginRoundTrip(const Platform& platform, nlohmann::json& report) {
  LoginItemControlling& item = *platform.loginItem;
  const std::optional<QByteArray> entryBefore = regularFileBytes(platform.loginEntryFile);
  const bool initial = item.isEnabled();
  report["loginInitiallyEnabled"] = initial;

  std::optional<QString> error;
  try {
    item.setEnabled(!initial);
    if (item.isEnabled() == initial) error = kRoundTripMessage;
  } catch (const LoginItemError& failure) {
    error = failure.code() == LoginItemError::Code::approvalRequired ? kApprovalMessage : kBundleMessage;
  } catch (...) {
    error = kRoundTripMessage;
  }
  report["loginToggleVerified"] = !error.has_value();
  if (error) report["loginError"] = text(*error);

  bool restored = false;
  try {
    item.setEnabled(initial);
    restored = item.isEnabled() == initial;
  } catch (...) {
    restored = false;
  }
  // Switching off removes any entry of ours, also one that named another copy of the program:
  // the user's entry comes back as it was.
  if (entryBefore && regularFileBytes(platform.loginEntryFile) != entryBefore) {
    try {
      AtomicFileWriter::write(platform.loginEntryFile, *entryBefore, 0600);
    } catch (const std::exception&) {
      restored = false;
    }
    restored = restored && regularFileBytes(platform.loginEntryFile) == entryBefore;
  }
  report["loginRestored"] = restored;
  report["loginNativeStatusAfter"] = platform.loginNativeStatus();
}

void ReleaseChecks::notificationCheck(const Platform& platform, nlohmann::json& report) {
  const int authorization = platform.notificationAuthorization();
  report["notificationAuthorization"] = authorization;
  if (authorization != authorizedStatus) return;
  const NotificationContent content{QStringLiteral("Quotabox 알림 테스트"),
                                    QStringLiteral("번들 알림 검증이에요. 검증 후 자동으로 제거해요."), false};
  const std::optional<quint32> id = platform.postNotification(content);
  if (!id) {
    report["notificationDelivered"] = false;
    return;
  }
  EventWait::pause(kDeliveryPauseMs);
  report["notificationDelivered"] = platform.closeNotification(*id);
}

void ReleaseChecks::scratchChecks(const AppModel& model, const Platform& platform, nlohmann::json& report) {
  const QString name = suitePrefix + QUuid::createUuid().toString(QUuid::WithoutBraces);
  const std::shared_ptr<SettingsDomain> suite = platform.makeSuite(name);
  if (!suite) return;
  {
    AppModel::Parts parts;
    // The scratch store reads the user's history but never writes it: the live model owns it.
    if (model.options().source.kind == LaunchOptions::Source::Kind::live) {
      parts.store = UsageStore::live(HistoryStore::Access::readOnly, model.options().claudeRequest);
    }
    parts.loginItem = platform.loginItem;
    AppModel scratch(model.options(), suite, std::move(parts));
    UsageStore& store = scratch.store();
    if (scratch.settings().refreshInterval() != kScratchInterval) {
      scratch.applyRefreshInterval(kScratchInterval);
    } else {
      store.setRefreshInterval(kScratchInterval);
      store.start();
    }
    EventWait::until([&store] { return store.lastRefresh().has_value(); }, kScratchRefreshTimeoutMs);
    report["refreshSettingApplied"] = store.refreshInterval() == kScratchInterval &&
                                      scratch.settings().refreshInterval() == kScratchInterval &&
                                      store.lastRefresh().has_value();
    store.stop();

    ThresholdNotifier& notifier = scratch.notifier();
    notifier.refreshAuthorization();
    if (notifier.authorization() == ThresholdNotifier::Authorization::denied) {
      MockUsageProvider provider(ServiceID::claude, MockUsageProvider::Scenario::high);
      notifier.evaluate({provider.fetch(std::stop_token())}, Thresholds{70, 90}, true, systemNow());
      report["deniedNotificationKeepsDedupeEmpty"] = !suite->contains(notifier.stateKey());
    }
  }
  suite->removePersistentDomain();
}

nlohmann::json ReleaseChecks::usageSummary(const AppModel& model) {
  nlohmann::json services = nlohmann::json::array();
  for (const auto& [service, usage] : model.orderedUsages()) {
    nlohmann::json windows = nlohmann::json::array();
    if (usage) {
      for (const UsageWindow& window : usage->windows) {
        windows.push_back({{"label", window.label}, {"percent", window.usedPercent}});
      }
    }
    services.push_back(
        {{"service", ServiceIDs::id(service)}, {"ok", usage && usage->status.isOk()}, {"windows", windows}});
  }
  return services;
}

nlohmann::json ReleaseChecks::checks(AppModel& model, const Platform& platform, const QString& directory) {
  nlohmann::json report = nlohmann::json::object();
  report["bundle"] = text(platform.bundlePath);
  report["accessory"] = platform.isAccessory(model);
  loginRoundTrip(platform, report);
  notificationCheck(platform, report);
  scratchChecks(model, platform, report);

  model.store().setRefreshInterval(model.settings().refreshInterval());
  const QFuture<void> refresh = model.store().refresh();
  EventWait::until([&refresh] { return refresh.isFinished(); }, platform.refreshTimeoutMs);
  Snapshotter::renderLive(model, directory);
  report["usage"] = usageSummary(model);
  return report;
}

bool ReleaseChecks::run(AppModel& model, const QString& directory) {
  const QString path = QDir(directory).absolutePath();
  try {
    ReportFile::ensureDirectory(path);
    const nlohmann::json report = checks(model, systemPlatform(), path);
    ReportFile::writeJson(QDir(path).filePath(QStringLiteral("system-checks.json")), report);
    return true;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "번들 검증 보고서를 저장하지 못했어요.\n%s\n", error.what());
    return false;
  }
}
