#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "TestSandbox.h"
#include "login/LoginItemControlling.h"
#include "login/LoginItemError.h"
#include "snapshot/ReleaseChecks.h"

namespace {

// A login item whose switching can fail or not take effect; records every switch.
class FakeLoginItem : public LoginItemControlling {
 public:
  bool enabled = false;
  bool takesEffect = true;
  std::function<void(bool)> onSet;
  std::vector<bool> switches;

  bool isSupported() const override { return true; }
  bool isEnabled() const override { return enabled; }
  void setEnabled(bool value) override {
    switches.push_back(value);
    if (onSet) onSet(value);
    if (takesEffect) enabled = value;
  }
};

ReleaseChecks::Platform platformWith(std::shared_ptr<FakeLoginItem> item) {
  ReleaseChecks::Platform platform;
  platform.loginItem = std::move(item);
  platform.loginNativeStatus = [] { return 7; };
  return platform;
}

// Throws `error` when switched to `state`.
template <typename Error>
std::function<void(bool)> throwWhen(bool state, Error error) {
  return [state, error](bool on) {
    if (on == state) throw error;
  };
}

}  // namespace

class ReleaseChecksLoginTest : public SandboxedTest {};

TEST_F(ReleaseChecksLoginTest, RoundTripIsVerifiedRestoredAndFailuresAreWordedByCause) {
  struct Case {
    bool initial;
    std::function<void(bool)> onSet;
    bool takesEffect;
    bool verified;
    const char* error;  // nullptr: no error recorded
    bool restored;
  };
  const char* const failed = "로그인 항목 왕복 검증에 실패했어요.";
  const std::vector<Case> cases{
      {true, nullptr, true, true, nullptr, true},
      {false, throwWhen(true, LoginItemError(LoginItemError::Code::approvalRequired)), true, false,
       "시스템 설정 → 일반 → 로그인 항목에서 Quotabox 실행을 허용하세요.", true},
      {false, throwWhen(true, LoginItemError(LoginItemError::Code::appBundleRequired)), true, false,
       "설치된 Quotabox.app에서 자동 실행을 설정하세요.", true},
      {false, throwWhen(true, std::runtime_error("disk full")), true, false, failed, true},
      // A switch that silently does nothing is a failed round trip, not a success.
      {false, nullptr, false, false, failed, true},
      // Switching back fails: verified, but reported as not restored.
      {false, throwWhen(false, std::runtime_error("read-only")), true, true, nullptr, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases.data());
    auto item = std::make_shared<FakeLoginItem>();
    item->enabled = c.initial;
    item->onSet = c.onSet;
    item->takesEffect = c.takesEffect;
    nlohmann::json report;
    ReleaseChecks::loginRoundTrip(platformWith(item), report);
    EXPECT_EQ(item->switches, (std::vector<bool>{!c.initial, c.initial}));
    EXPECT_EQ(report["loginInitiallyEnabled"], c.initial);
    EXPECT_EQ(report["loginToggleVerified"], c.verified);
    EXPECT_EQ(report.contains("loginError"), c.error != nullptr);
    if (c.error) {
      EXPECT_EQ(report["loginError"], c.error);
    }
    EXPECT_EQ(report["loginRestored"], c.restored);
    EXPECT_EQ(report["loginNativeStatusAfter"], 7);
  }
}

TEST(ReleaseChecksNotificationTest, DeliveryIsCheckedOnlyWhenAuthorisedAndNeedsTheClose) {
  struct Case {
    int authorization;
    std::optional<quint32> posted;
    bool closed;
    std::optional<bool> delivered;
  };
  const std::vector<Case> cases{
      {1, 5, true, std::nullopt},
      {2, std::nullopt, true, false},
      {2, 5, false, false},
  };
  for (const Case& c : cases) {
    ReleaseChecks::Platform platform;
    platform.notificationAuthorization = [&c] { return c.authorization; };
    platform.postNotification = [&](const NotificationContent&) { return c.posted; };
    std::optional<quint32> closedId;
    platform.closeNotification = [&](quint32 id) {
      closedId = id;
      return c.closed;
    };
    nlohmann::json report;
    ReleaseChecks::notificationCheck(platform, report);
    EXPECT_EQ(report["notificationAuthorization"], c.authorization);
    EXPECT_EQ(report.contains("notificationDelivered"), c.delivered.has_value());
    if (c.delivered) {
      EXPECT_EQ(report["notificationDelivered"], *c.delivered);
    }
    if (c.posted && c.authorization == 2) {
      EXPECT_EQ(closedId, c.posted);
    }
  }
}
