#include <gtest/gtest.h>

#include <QFile>
#include <QString>
#include <deque>

#include "ClosureLoginItem.h"
#include "LoginItem.h"
#include "LoginItemError.h"
#include "TestSandbox.h"

namespace {
// A scripted system registration: each status() call takes the next queued answer and repeats
// the last one when the queue runs dry.
class FakeService : public LoginItemService {
 public:
  mutable std::deque<LoginItemStatus> statuses{LoginItemStatus::notRegistered};
  std::optional<int> registerErrorCode;
  std::optional<int> unregisterErrorCode;
  int registerCalls = 0;
  int unregisterCalls = 0;

  LoginItemStatus status() const override {
    const LoginItemStatus next = statuses.front();
    if (statuses.size() > 1) statuses.pop_front();
    return next;
  }
  void registerApp() override {
    ++registerCalls;
    if (registerErrorCode) throw LoginItemServiceError(*registerErrorCode, "register refused");
  }
  void unregisterApp() override {
    ++unregisterCalls;
    if (unregisterErrorCode) throw LoginItemServiceError(*unregisterErrorCode, "unregister refused");
  }
};

class LoginItemTest : public SandboxedTest {
 protected:
  std::shared_ptr<FakeService> service = std::make_shared<FakeService>();
  LoginAgentFile agent = LoginAgentFile::standard();

  QString makeBundle(const std::string& relative) {
    const auto executable = sandbox.writeFile(relative + "/Contents/MacOS/Quotabox", "#!/bin/sh\n");
    QFile::setPermissions(QString::fromStdString(executable.string()),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return QString::fromStdString(sandbox.path(relative).string());
  }

  LoginItemPlatform platformFor(const QString& appPath) {
    return {service, appPath, &LoginItem::isUsableBundle, agent};
  }

  void setStatuses(std::initializer_list<LoginItemStatus> statuses) { service->statuses = statuses; }

  bool agentExists() const { return QFile::exists(agent.filePath()); }
};

LoginItemError::Code codeOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const LoginItemError& error) {
    return error.code();
  }
  ADD_FAILURE() << "no LoginItemError thrown";
  return LoginItemError::Code::appBundleRequired;
}
}  // namespace

TEST_F(LoginItemTest, ErrorsCarryTheirKoreanDescriptions) {
  EXPECT_EQ(LoginItemError(LoginItemError::Code::appBundleRequired).description(),
            QStringLiteral("설치된 Quotabox.app에서 자동 실행을 설정하세요."));
  const LoginItemError approval(LoginItemError::Code::approvalRequired);
  EXPECT_EQ(approval.description(), QStringLiteral("시스템 설정 → 일반 → 로그인 항목에서 Quotabox 실행을 허용하세요."));
  EXPECT_EQ(QString::fromUtf8(approval.what()), approval.description());
}

TEST_F(LoginItemTest, EnablingNeedsAUsableBundleButDisablingDoesNot) {
  const QString notABundle = makeBundle("Applications/Quotabox.dir");
  const QString empty = QString::fromStdString(sandbox.path("Applications/Empty.app").string());
  for (const QString& path : {notABundle, empty}) {
    EXPECT_EQ(codeOf([&] { LoginItem::setEnabled(true, platformFor(path)); }), LoginItemError::Code::appBundleRequired)
        << path.toStdString();
  }
  EXPECT_EQ(service->registerCalls, 0);

  agent.write(notABundle);
  setStatuses({LoginItemStatus::enabled});
  EXPECT_NO_THROW(LoginItem::setEnabled(false, platformFor(notABundle)));
  EXPECT_FALSE(agentExists());
  EXPECT_EQ(service->unregisterCalls, 1);
}

TEST_F(LoginItemTest, AlreadyEnabledRemovesALeftoverAgentFile) {
  const QString app = makeBundle("Applications/Quotabox.app");
  agent.write(app);
  setStatuses({LoginItemStatus::enabled});
  LoginItem::setEnabled(true, platformFor(app));
  EXPECT_FALSE(agentExists());
  EXPECT_EQ(service->registerCalls, 0);
  EXPECT_TRUE(LoginItem::isEnabled(platformFor(app)));
}

TEST_F(LoginItemTest, PendingApprovalFailsWithoutRegistering) {
  const QString app = makeBundle("Applications/Quotabox.app");
  setStatuses({LoginItemStatus::requiresApproval});
  EXPECT_EQ(codeOf([&] { LoginItem::setEnabled(true, platformFor(app)); }), LoginItemError::Code::approvalRequired);
  EXPECT_EQ(service->registerCalls, 0);
  EXPECT_FALSE(agentExists());
}

TEST_F(LoginItemTest, RegistrationRefusedByTheUserNeedsApproval) {
  const QString app = makeBundle("Applications/Quotabox.app");
  for (int code : {4, 11}) {
    service->registerErrorCode = code;
    setStatuses({LoginItemStatus::notRegistered});
    EXPECT_EQ(codeOf([&] { LoginItem::setEnabled(true, platformFor(app)); }), LoginItemError::Code::approvalRequired)
        << code;
    EXPECT_FALSE(agentExists());
  }
  // Whatever the code, a status of requires-approval after the failure is the same answer.
  service->registerErrorCode = 5;
  setStatuses({LoginItemStatus::notRegistered, LoginItemStatus::requiresApproval});
  EXPECT_EQ(codeOf([&] { LoginItem::setEnabled(true, platformFor(app)); }), LoginItemError::Code::approvalRequired);
  EXPECT_FALSE(agentExists());
}

TEST_F(LoginItemTest, FailedRegistrationThatTookEffectAnywaySucceeds) {
  const QString app = makeBundle("Applications/Quotabox.app");
  agent.write(app);
  service->registerErrorCode = 11;
  setStatuses({LoginItemStatus::notRegistered, LoginItemStatus::enabled});
  EXPECT_NO_THROW(LoginItem::setEnabled(true, platformFor(app)));
  EXPECT_FALSE(agentExists());
}

TEST_F(LoginItemTest, OtherRegistrationFailureFallsBackToTheAgentFile) {
  const QString app = makeBundle("Applications/Quotabox.app");
  service->registerErrorCode = 5;
  setStatuses({LoginItemStatus::notRegistered});
  EXPECT_NO_THROW(LoginItem::setEnabled(true, platformFor(app)));
  EXPECT_TRUE(agent.matches(app));
  EXPECT_TRUE(LoginItem::isEnabled(platformFor(app)));

  // Another copy of the application, or this one moved elsewhere, is not the one the agent opens.
  const QString moved = makeBundle("Other/Quotabox.app");
  EXPECT_FALSE(LoginItem::isEnabled(platformFor(moved)));
  QFile::remove(app + "/Contents/MacOS/Quotabox");
  EXPECT_FALSE(LoginItem::isEnabled(platformFor(app)));
}

TEST_F(LoginItemTest, SuccessfulRegistrationIsJudgedByTheStatusAfterwards) {
  const QString app = makeBundle("Applications/Quotabox.app");

  agent.write(app);
  setStatuses({LoginItemStatus::notRegistered, LoginItemStatus::enabled});
  LoginItem::setEnabled(true, platformFor(app));
  EXPECT_FALSE(agentExists());

  setStatuses({LoginItemStatus::notRegistered, LoginItemStatus::requiresApproval});
  EXPECT_EQ(codeOf([&] { LoginItem::setEnabled(true, platformFor(app)); }), LoginItemError::Code::approvalRequired);
  EXPECT_FALSE(agentExists());

  setStatuses({LoginItemStatus::notRegistered, LoginItemStatus::notFound});
  LoginItem::setEnabled(true, platformFor(app));
  EXPECT_TRUE(agent.matches(app));
  EXPECT_EQ(service->registerCalls, 3);
}

TEST_F(LoginItemTest, DisablingUnregistersOnlyWhatIsRegistered) {
  const QString app = makeBundle("Applications/Quotabox.app");
  setStatuses({LoginItemStatus::notRegistered});
  EXPECT_NO_THROW(LoginItem::setEnabled(false, platformFor(app)));
  EXPECT_EQ(service->unregisterCalls, 0);

  setStatuses({LoginItemStatus::requiresApproval});
  LoginItem::setEnabled(false, platformFor(app));
  EXPECT_EQ(service->unregisterCalls, 1);

  setStatuses({LoginItemStatus::enabled});
  service->unregisterErrorCode = 1;
  agent.write(app);
  EXPECT_THROW(LoginItem::setEnabled(false, platformFor(app)), LoginItemServiceError);
  EXPECT_FALSE(agentExists());
}

TEST_F(LoginItemTest, WithoutAFallbackARegistrationThatDidNotTakeEffectIsAnError) {
  const auto executable = sandbox.writeFile("bin/quotabox", "#!/bin/sh\n");
  QFile::setPermissions(QString::fromStdString(executable.string()), QFile::ReadOwner | QFile::ExeOwner);
  const LoginItemPlatform linux{service, QString::fromStdString(executable.string()), &LoginItem::isUsableExecutable,
                                std::nullopt};

  service->registerErrorCode = 5;
  try {
    LoginItem::setEnabled(true, linux);
    ADD_FAILURE() << "a failed registration was reported as success";
  } catch (const LoginItemServiceError& error) {
    EXPECT_EQ(error.code(), 5);
  }

  service->registerErrorCode.reset();
  setStatuses({LoginItemStatus::notRegistered});
  EXPECT_THROW(LoginItem::setEnabled(true, linux), std::runtime_error);
  EXPECT_FALSE(LoginItem::isEnabled(linux));

  setStatuses({LoginItemStatus::notRegistered, LoginItemStatus::enabled});
  EXPECT_NO_THROW(LoginItem::setEnabled(true, linux));
}

TEST_F(LoginItemTest, UsableApplicationLocations) {
  const QString app = makeBundle("Applications/Quotabox.app");
  EXPECT_TRUE(LoginItem::isUsableBundle(app));
  EXPECT_FALSE(LoginItem::isUsableBundle(app + "/Contents/MacOS/Quotabox"));

  const auto script = sandbox.writeFile("bin/quotabox", "#!/bin/sh\n");
  const QString path = QString::fromStdString(script.string());
  EXPECT_FALSE(LoginItem::isUsableExecutable(path));  // not executable yet
  QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
  EXPECT_TRUE(LoginItem::isUsableExecutable(path));
  EXPECT_FALSE(LoginItem::isUsableExecutable(QStringLiteral("bin/quotabox")));
  EXPECT_FALSE(LoginItem::isUsableExecutable(QString::fromStdString(sandbox.home().string())));
}

TEST_F(LoginItemTest, ClosureLoginItemPassesCallsAndErrorsThrough) {
  bool state = false;
  ClosureLoginItem item([&] { return state; },
                        [&](bool wanted) {
                          if (wanted) throw LoginItemError(LoginItemError::Code::approvalRequired);
                          state = false;
                        });
  EXPECT_TRUE(item.isSupported());
  state = true;
  EXPECT_TRUE(item.isEnabled());
  EXPECT_THROW(item.setEnabled(true), LoginItemError);
  item.setEnabled(false);
  EXPECT_FALSE(item.isEnabled());
}
