#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "notifications/NotificationCenter.h"

class AppModel;
class LoginItemControlling;
class SettingsDomain;

// The system check of an installed program: login item round trip, notification delivery,
// settings on a scratch suite, one live refresh and renderings. Writes "system-checks.json".
// Main thread; the application model is never started.
class ReleaseChecks {
 public:
  // Everything outside the program the checks touch.
  struct Platform {
    QString bundlePath;
    std::function<bool(AppModel&)> isAccessory;
    std::shared_ptr<LoginItemControlling> loginItem;
    // The autostart service's raw status (see the README).
    std::function<int()> loginNativeStatus;
    // A file the round trip may rewrite; it is put back byte for byte when it existed before.
    QString loginEntryFile;
    std::function<int()> notificationAuthorization;
    // The server's id of the shown notification; nullopt when it was not accepted.
    std::function<std::optional<quint32>(const NotificationContent&)> postNotification;
    std::function<bool(quint32)> closeNotification;
    // A fresh settings domain, or nullptr when it cannot be made.
    std::function<std::shared_ptr<SettingsDomain>(const QString&)> makeSuite;
    // Bounds the live refresh.
    int refreshTimeoutMs = 60000;
  };

  static constexpr int authorizedStatus = 2;
  static const QString notificationIdentifier;
  static const QString suitePrefix;

  static Platform systemPlatform();

  // The report's members; writes the renderings into `directory` (which must exist).
  static nlohmann::json checks(AppModel& model, const Platform& platform, const QString& directory);
  // Runs the checks with the system's platform and writes the report. False when the report
  // could not be written (the reason is on standard error).
  static bool run(AppModel& model, const QString& directory);

  // Parts of the report, in the order checks() runs them.
  static void loginRoundTrip(const Platform& platform, nlohmann::json& report);
  static void notificationCheck(const Platform& platform, nlohmann::json& report);

 private:
  static void scratchChecks(const AppModel& model, const Platform& platform, nlohmann::json& report);
  static nlohmann::json usageSummary(const AppModel& model);
};
