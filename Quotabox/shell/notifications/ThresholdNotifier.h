#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/ServiceUsage.h"
#include "model/TimePoint.h"
#include "notifications/NotificationCenter.h"
#include "settings/UsageLevel.h"

class SettingsDomain;

// Posts one notification per window and level within a window's reset cycle, and tracks whether
// notifications may be shown. Main-thread confined.
//
// Without a notification centre (no session bus: a development run) authorization is
// `unsupported` and notifications become one line on standard error. A centre that cannot show
// anything at the moment (its server has not started yet) leaves the crossing unrecorded, so the
// next evaluation tries again.
class ThresholdNotifier : public QObject {
  Q_OBJECT
  Q_PROPERTY(Authorization authorization READ authorization NOTIFY authorizationChanged)

 public:
  enum class Authorization { unknown, unsupported, notDetermined, allowed, denied };
  Q_ENUM(Authorization)

  // The last level notified for a window, and the reset time (epoch seconds, 0 without one) of
  // the cycle it belongs to.
  struct Entry {
    int level = 0;
    double cycle = 0;
    friend bool operator==(const Entry&, const Entry&) = default;
  };
  // Window key ("claude.five_hour") to entry.
  using State = std::map<std::string, Entry>;
  using TextSink = std::function<void(const QByteArray&)>;

  // `nameSpace` is "live" or "mock"; `center` may be null (development run); `errorSink`
  // receives the development-run lines (standard error by default).
  ThresholdNotifier(std::shared_ptr<SettingsDomain> defaults, const QString& nameSpace,
                    std::shared_ptr<NotificationCenter> center, TextSink errorSink = {}, QObject* parent = nullptr);

  Authorization authorization() const { return m_authorization; }
  QString stateKey() const { return m_stateKey; }
  bool hasCenter() const { return m_center != nullptr; }

  // Asks the centre for its current permission; synchronous (freedesktop servers answer at once).
  void refreshAuthorization();
  // Asks the user for alerts and sounds when a centre exists; a failed request is ignored.
  // The caller refreshes the authorization afterwards.
  void requestAuthorization();

  void evaluate(const std::vector<ServiceUsage>& usages, Thresholds thresholds, bool enabled, TimePoint now);
  void sendTestNotification();

  // A missing or undecodable stored state is empty.
  State loadState() const;
  void saveState(const State& state);

  // The title, body and sound of a threshold notification; nullopt for `normal`.
  static std::optional<NotificationContent> thresholdContent(ServiceID service, const UsageWindow& window,
                                                             UsageLevel level, TimePoint now);
  static QByteArray encodeState(const State& state);
  static std::optional<State> decodeState(const QByteArray& bytes);

 signals:
  void authorizationChanged(ThresholdNotifier::Authorization authorization);

 private:
  void setAuthorization(Authorization authorization);
  // Both answer false when nothing could show the notification now.
  bool post(const ServiceUsage& usage, const UsageWindow& window, UsageLevel level, TimePoint now);
  bool deliver(const QString& identifier, const NotificationContent& content);

  Authorization m_authorization = Authorization::unknown;
  std::shared_ptr<SettingsDomain> m_defaults;
  QString m_stateKey;
  std::shared_ptr<NotificationCenter> m_center;
  TextSink m_errorSink;
};
