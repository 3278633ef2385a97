#pragma once

#include <QDBusConnection>
#include <QObject>

// One tray run per session: the first run owns the bus name com.orrisfen.Quotabox and serves
// OpenPopover; a later start asks it to open its popover instead of running a second copy.
class SingleInstance : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.orrisfen.Quotabox")

 public:
  static constexpr const char* serviceName = "com.orrisfen.Quotabox";
  static constexpr const char* objectPath = "/com/orrisfen/Quotabox";
  static constexpr int callTimeoutMs = 3000;

  enum class Claim { owned, taken, noBus };

  explicit SingleInstance(QDBusConnection bus, QObject* parent = nullptr);
  ~SingleInstance() override;

  // Tries to own the name (never queued behind another owner).
  Claim claim();
  // Asks the owner of the name to open its popover; false when it could not be reached.
  static bool askRunningToOpen(QDBusConnection bus);

 public Q_SLOTS:
  Q_SCRIPTABLE void OpenPopover();

 signals:
  void openRequested();

 private:
  QDBusConnection m_bus;
  bool m_owned = false;
};
