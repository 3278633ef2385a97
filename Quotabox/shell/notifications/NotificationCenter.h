#pragma once

#include <QString>
#include <memory>

// What one notification shows.
struct NotificationContent {
  // How insistently the system presents it (the freedesktop urgency levels 0 to 2).
  enum class Urgency { low, normal, critical };

  QString title;
  QString body;
  // The default notification sound; silent when false.
  bool sound = false;
  Urgency urgency = Urgency::normal;

  friend bool operator==(const NotificationContent&, const NotificationContent&) = default;
};

// The system's notification service. Main thread only.
class NotificationCenter {
 public:
  enum class Authorization { notDetermined, denied, allowed, other };

  virtual ~NotificationCenter() = default;

  virtual Authorization authorizationStatus() = 0;
  // Asks permission for alerts and sounds; false when the request failed.
  virtual bool requestAuthorization() = 0;
  // Whether a notification added now has something to show it. A notification server can appear
  // after the program started (a race at login), so this is asked at every delivery.
  virtual bool canShowNow() { return true; }
  // Shows the content at once, replacing an earlier notification with the same identifier.
  // Delivery failures are not reported.
  virtual void add(const QString& identifier, const NotificationContent& content) = 0;

  // This platform's service, or nullptr when there is none (a development run without a session
  // bus).
  static std::shared_ptr<NotificationCenter> platform();
};
