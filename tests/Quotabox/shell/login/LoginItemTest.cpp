#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QString>
#include <deque>

#include "TestSandbox.h"
#include "login/LoginItem.h"
#include "login/LoginItemError.h"

namespace {
using Status = LoginItemStatus;
using Code = LoginItemError::Code;

// A scripted system registration: each status() call takes the next queued answer and repeats
// the last one when the queue runs dry.
class FakeService : public LoginItemService {
 public:
  mutable std::deque<Status> statuses{Status::notRegistered};
  std::optional<int> registerErrorCode, unregisterErrorCode;
  int registerCalls = 0, unregisterCalls = 0;

  Status status() const override {
    const Status next = statuses.front();
    if (statuses.size() > 1) statuses.pop_front();
    return next;
  }
  void registerApp() override { count(registerCalls, registerErrorCode); }
  void unregisterApp() override { count(unregisterCalls, unregisterErrorCode); }
  // Counts the call, then throws when an error code is set.
  static void count(int& calls, std::optional<int> error) {
    ++calls;
    if (error) throw LoginItemServiceError(*error, "refused");
  }
};

class LoginItemTest : public SandboxedTest {
 protected:
  std::shared_ptr<FakeService> service = std::make_shared<FakeService>();
  LoginAgentFile agent = LoginAgentFile::standard();

  QString makeExecutable(const std::string& relative) {
    const QString path = QString::fromStdString(sandbox.writeFile(relative, "#!/bin/sh\n").string());
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
  }
  QString makeBundle(const std::string& relative) {
    makeExecutable(relative + "/Contents/MacOS/Quotabox");
    return QString::fromStdString(sandbox.path(relative).string());
  }
  LoginItemPlatform platformFor(const QString& appPath) {
    return {service, appPath, &LoginItem::isUsableBundle, agent};
  }
  // The LoginItemError code of turning launch at login on, or nullopt when it succeeded.
  std::optional<Code> enable(const QString& appPath) {
    try {
      LoginItem::setEnabled(true, platformFor(appPath));
      return std::nullopt;
    } catch (const LoginItemError& error) {
      return error.code();
    }
  }
  bool agentExists() const { return QFile::exists(agent.filePath()); }
};
}  // namespace

TEST_F(LoginItemTest, EnablingFollowsTheRegistrationOutcome) {
  struct Case {
    std::optional<int> registerError;
    std::vector<Status> statuses;  // before and after registering
    std::optional<Code> expected;
    bool agentFile;
  };
  const Case cases[] = {
      {std::nullopt, {Status::enabled}, std::nullopt, false},  // already enabled: no second registration
      {std::nullopt, {Status::requiresApproval}, Code::approvalRequired, false},
      {std::nullopt, {Status::notRegistered, Status::enabled}, std::nullopt, false},
      {std::nullopt, {Status::notRegistered, Status::requiresApproval}, Code::approvalRequired, false},
      {std::nullopt, {Status::notRegistered, Status::notFound}, std::nullopt, true},
      // Refused by the user: approval, never the fallback.
      {4, {Status::notRegistered}, Code::approvalRequired, false},
      {11, {Status::notRegistered}, Code::approvalRequired, false},
      // Other codes fall back, unless the status says otherwise.
      {5, {Status::notRegistered}, std::nullopt, true},
      {5, {Status::notRegistered, Status::requiresApproval}, Code::approvalRequired, false},
      {11, {Status::notRegistered, Status::enabled}, std::nullopt, false},
  };
  // Without a usable bundle nothing is registered.
  EXPECT_EQ(enable(makeBundle("Applications/Quotabox.dir")), Code::appBundleRequired);
  EXPECT_EQ(enable(QString::fromStdString(sandbox.path("Applications/Empty.app").string())), Code::appBundleRequired);
  EXPECT_EQ(service->registerCalls, 0);

  const QString app = makeBundle("Applications/Quotabox.app");
  const QString other = makeBundle("Other/Quotabox.app");
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "case " << (&c - cases));
    agent.write(other);  // a leftover for another copy
    service->registerErrorCode = c.registerError;
    service->statuses.assign(c.statuses.begin(), c.statuses.end());
    const int callsBefore = service->registerCalls;
    EXPECT_EQ(enable(app), c.expected);
    EXPECT_EQ(agent.matches(app), c.agentFile);
    // Once registered, the leftover agent must not open a second copy.
    EXPECT_TRUE(c.expected || agentExists() == c.agentFile);
    // A status already settled before registering asks for no registration.
    EXPECT_TRUE(c.statuses.size() > 1 || c.registerError || service->registerCalls == callsBefore);
  }
}

TEST_F(LoginItemTest, TheAgentCountsForItsOwnCopyAndDisablingUnregistersOnlyWhatIsRegistered) {
  const QString app = makeBundle("Applications/Quotabox.app");
  agent.write(app);
  EXPECT_TRUE(LoginItem::isEnabled(platformFor(app)));
  EXPECT_FALSE(LoginItem::isEnabled(platformFor(makeBundle("Other/Quotabox.app"))));
  // Turning off needs no usable application.
  for (Status status : {Status::enabled, Status::notRegistered, Status::requiresApproval}) {
    service->statuses = {status};
    LoginItem::setEnabled(false, platformFor(QStringLiteral("/nonexistent/Quotabox.dir")));
  }
  EXPECT_FALSE(agentExists());
  EXPECT_EQ(service->unregisterCalls, 2);

  // The agent file goes even when unregistering fails.
  service->unregisterErrorCode = 1;
  agent.write(app);
  EXPECT_THROW(LoginItem::setEnabled(false, platformFor(app)), LoginItemServiceError);
  EXPECT_FALSE(agentExists());
}

// The executable itself is registered, and nothing else would start it.
TEST_F(LoginItemTest, AnExecutableMustBeUsableAndWithoutAFallbackARegistrationMustTakeEffect) {
  const QString executable = makeExecutable("bin/quotabox");
  EXPECT_TRUE(LoginItem::isUsableExecutable(executable));
  const QString plain = QString::fromStdString(sandbox.writeFile("bin/plain", "#!/bin/sh\n").string());
  for (const QString& unusable :
       {plain, QStringLiteral("bin/quotabox"), QString::fromStdString(sandbox.home().string())}) {
    EXPECT_FALSE(LoginItem::isUsableExecutable(unusable)) << unusable.toStdString();
  }

  const LoginItemPlatform linux{service, executable, &LoginItem::isUsableExecutable, std::nullopt};
  service->registerErrorCode = 5;
  EXPECT_THAT([&] { LoginItem::setEnabled(true, linux); },
              ::testing::Throws<LoginItemServiceError>(::testing::Property(&LoginItemServiceError::code, 5)));

  service->registerErrorCode.reset();
  EXPECT_THROW(LoginItem::setEnabled(true, linux), std::runtime_error);
}

TEST_F(LoginItemTest, AgentFileWritesAPrivateAgentThatOnlyItsExactTextAndBundleMatchAndThrowsFailures) {
  EXPECT_NO_THROW(agent.remove());
  const QString app = makeBundle("Apps & <Tools>/Quo\"ta'box.app");
  EXPECT_FALSE(agent.matches(app));
  agent.write(app);
  EXPECT_EQ(modeOf(agent.directory), 0700u);
  EXPECT_EQ(modeOf(agent.filePath()), 0600u);
  EXPECT_TRUE(agent.matches(app));
  EXPECT_FALSE(agent.matches(makeBundle("Apps/Quotabox.app")));

  // Our own text with one substitution: a wrong value or type, an extra argument, a repeated key or broken
  // structure; unknown extra keys do not matter.
  const std::tuple<QByteArray, QByteArray, bool> cases[] = {
      {"<true/>", "<string>true</string>", false},
      {"</array>", "<string>--open</string></array>", false},
      {"<key>RunAtLoad</key>", "<key>Label</key><string>x</string><key>RunAtLoad</key>", false},
      {"</dict>", "</dic>", false},
      {"<key>RunAtLoad</key>", "<key>KeepAlive</key><integer>1</integer><key>RunAtLoad</key>", true},
  };
  for (const auto& [from, to, matches] : cases) {
    QByteArray text = LoginAgentFile::format(app);
    ASSERT_TRUE(text.contains(from)) << from.toStdString();
    sandbox.writeFile("Library/LaunchAgents/com.orrisfen.Quotabox.login.plist", text.replace(from, to));
    EXPECT_EQ(agent.matches(app), matches) << to.toStdString();
  }

  // A bundle whose executable is gone cannot be opened.
  agent.write(app);
  ASSERT_TRUE(QFile::setPermissions(app + "/Contents/MacOS/Quotabox", QFile::ReadOwner | QFile::WriteOwner));
  EXPECT_FALSE(agent.matches(app));

  agent.remove();
  ASSERT_TRUE(QDir().mkpath(agent.filePath()));  // a folder in the file's place can be neither replaced nor unlinked
  EXPECT_THROW(agent.remove(), std::system_error);
  EXPECT_THROW(agent.write(app), std::system_error);
}
