#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "ProgramRunner.h"
#include "TestSandbox.h"
#include "app/TerminalRun.h"
#include "appmodel/LaunchOptions.h"

namespace {

LaunchOptions parse(const QStringList& arguments) { return LaunchOptions::parse(QStringList{"quotabox"} + arguments); }

std::string joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const auto& line : lines) all += line;
  return all;
}

class LaunchOptionsRun : public SandboxedTest {
 protected:
  ProgramRunner programs;
};

}  // namespace

TEST(LaunchOptions, ShortHelpAndVersionAreTheLongOnes) {
  EXPECT_TRUE(parse({"-h"}).help && !parse({"-h"}).version);
  EXPECT_TRUE(parse({"-V"}).version && !parse({"-V"}).help);
  // Short options are whole arguments too: no bundling, no other case.
  EXPECT_FALSE(parse({"-hV"}).help || parse({"-hV"}).version || parse({"-v"}).version || parse({"-H"}).help);
  EXPECT_TRUE(parse({"--mock", "-h", "-V"}).ignored.empty());
}

// What no option took is listed, one Korean line each, in command-line order; everything an option
// did take (also a value that looks like an option) is not.
TEST(LaunchOptions, NamesEveryIgnoredArgumentOnce) {
  const std::pair<QStringList, std::string> cases[] = {
      {{"--mock-high", "--open", "--appearance", "dark", "--json", "--print", "--waybar"}, ""},
      {{"--snapshot", "/tmp/s", "--verify-system", "--bogus"}, ""},  // "--bogus" is the folder
      {{"--Mock", "--mock=high", "print"},
       "알 수 없는 옵션이라 무시해요: --Mock\n알 수 없는 옵션이라 무시해요: --mock=high\n"
       "옵션이 아닌 인수라 무시해요: print\n"},
      {{"--mock", "--snapshot"}, "--snapshot 뒤에 값이 없어 이 옵션을 무시해요\n"},
      {{"--appearance", "dark", "--appearance", "light"},
       "옵션이 아닌 인수라 무시해요: light\n"},  // only the first occurrence takes a value
      {{"-platform", "xcb"}, "알 수 없는 옵션이라 무시해요: -platform\n옵션이 아닌 인수라 무시해요: xcb\n"},
      {{"--x\x1b[31m\x07"}, "알 수 없는 옵션이라 무시해요: --x?[31m?\n"},  // no terminal control
      {{"", "--json"}, ""},
  };
  for (const auto& [arguments, expected] : cases) {
    EXPECT_EQ(joined(parse(arguments).ignoredNotices()), expected) << arguments.join(u' ').toStdString();
  }
  // The program path is never an argument.
  EXPECT_TRUE(LaunchOptions::parse({"--bogus"}).ignored.empty());
}

// The command itself: short options answer like long ones, help comes before any report, and an
// unknown option is named on standard error while the run goes on.
TEST_F(LaunchOptionsRun, TheCommandNamesIgnoredArgumentsAndGoesOn) {
  const ProgramResult help = programs.run({"-h", "--mock"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out, TerminalRun::helpText().toUtf8());
  EXPECT_EQ(programs.run({"-V"}).out, TerminalRun::versionText().toUtf8());

  const ProgramResult report = programs.run({"--bogus", "--mock", "--json", "--snapshot"});
  EXPECT_EQ(report.exitCode, 0) << report.err.toStdString();
  EXPECT_EQ(report.err.toStdString(),
            "알 수 없는 옵션이라 무시해요: --bogus\n--snapshot 뒤에 값이 없어 이 옵션을 무시해요\n");
  const auto json = nlohmann::json::parse(report.out.toStdString(), nullptr, false);
  ASSERT_FALSE(json.is_discarded()) << report.out.toStdString();
  EXPECT_EQ(json["services"].size(), 2u);
}
