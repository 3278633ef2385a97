#pragma once

#include <QString>
#include <utility>
#include <vector>

#include "notifications/NotificationCenter.h"

// Records what would be shown; asking for permission grants it. `showable` false: no server.
class FakeNotificationCenter : public NotificationCenter {
 public:
  Authorization authorizationStatus() override { return status; }
  bool requestAuthorization() override {
    ++requests;
    status = Authorization::allowed;
    return true;
  }
  bool canShowNow() override { return showable; }
  void add(const QString& identifier, const NotificationContent& content) override {
    added.emplace_back(identifier, content);
  }

  Authorization status = Authorization::allowed;
  bool showable = true;
  int requests = 0;
  std::vector<std::pair<QString, NotificationContent>> added;
};
