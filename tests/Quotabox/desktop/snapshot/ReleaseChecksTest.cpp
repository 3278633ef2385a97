#include <gtest/gtest.h>

#include "login/ClosureLoginItem.h"
#include "login/LoginItemError.h"
#include "snapshot/ReleaseChecks.h"

namespace {

// Throws `error` when switched to `state`.
template <typename Error>
std::function<void(bool)> throwWhen(bool state, Error error) {
  return [state, error](bool on) {
    if (on == state) throw error;
  };
}

}  // namespace

TEST(ReleaseChecksLoginTest, RoundTripIsVerifiedRestoredAndFailuresAreWordedByCause) {
  struct Case {
    bool initial;
    std::function<void(bool)> onSet;
    bool takesEffect;
    const char* error;  // nullptr: verified, no error recorded
    bool restored;
  };
  const char* const failed = "로그인 항목 왕복 검증에 실패했어요.";
  const std::vector<Case> cases{
      {true, nullptr, true, nullptr, true},
      {false, throwWhen(true, LoginItemError(LoginItemError::Code::approvalRequired)), true,
       "시스템 설정 → 일반 → 로그인 항목에서 Quotabox 실행을 허용하세요.", true},
      {false, throwWhen(true, LoginItemError(LoginItemError::Code::appBundleRequired)), true,
       "설치된 Quotabox.app에서 자동 실행을 설정하세요.", true},
      {false, throwWhen(true, std::runtime_error("disk full")), true, failed, true},
      // A switch that silently does nothing is a failed round trip, not a success.
      {false, nullptr, false, failed, true},
      // Switching back fails: verified, but reported as not restored.
      {false, throwWhen(false, std::runtime_error("read-only")), true, nullptr, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases.data());
    bool enabled = c.initial;
    std::vector<bool> switches;
    const auto setter = [&](bool on) {
      switches.push_back(on);
      if (c.onSet) c.onSet(on);
      if (c.takesEffect) enabled = on;
    };
    ReleaseChecks::Platform platform;
    platform.loginItem = std::make_shared<ClosureLoginItem>([&] { return enabled; }, setter);
    platform.loginNativeStatus = [] { return 7; };
    nlohmann::json report;
    ReleaseChecks::loginRoundTrip(platform, report);
    EXPECT_EQ(switches, (std::vector<bool>{!c.initial, c.initial}));
    nlohmann::json expected{{"loginInitiallyEnabled", c.initial},
                            {"loginToggleVerified", c.error == nullptr},
                            {"loginRestored", c.restored},
                            {"loginNativeStatusAfter", 7}};
    if (c.error) expected["loginError"] = c.error;
    EXPECT_EQ(report, expected);
  }
}

TEST(ReleaseChecksNotificationTest, DeliveryIsCheckedOnlyWhenAuthorisedAndNeedsTheClose) {
  // The authorization (2: authorised), the id the post returns, whether closing succeeds, the delivery reported.
  const std::tuple<int, std::optional<quint32>, bool, std::optional<bool>> cases[] = {
      {1, 5, true, std::nullopt},
      {2, std::nullopt, true, false},
      {2, 5, false, false},
      {2, 5, true, true},
  };
  for (const auto& [authorization, posted, closes, delivered] : cases) {
    SCOPED_TRACE(::testing::Message() << authorization << ' ' << posted.value_or(0) << ' ' << closes);
    ReleaseChecks::Platform platform;
    platform.notificationAuthorization = [a = authorization] { return a; };
    platform.postNotification = [id = posted](const NotificationContent&) { return id; };
    // Only the posted notification counts as closed.
    platform.closeNotification = [closes = closes, posted = posted](quint32 id) { return closes && id == posted; };
    nlohmann::json report;
    ReleaseChecks::notificationCheck(platform, report);
    nlohmann::json expected{{"notificationAuthorization", authorization}};
    if (delivered) expected["notificationDelivered"] = *delivered;
    EXPECT_EQ(report, expected);
  }
}
