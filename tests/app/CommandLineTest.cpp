#include <gtest/gtest.h>

#include <vector>

#include "app/CommandLine.h"

namespace {

using Action = CommandLine::Action;

struct Case {
  std::vector<const char*> args;  // after the program's name
  Action action;
  const char* settingsFile;
  bool debug;
  const char* error;  // the one error line
};

TEST(CommandLine, ParsesEveryOptionAndNamesWhatItRefuses) {
  const Case cases[] = {
      {{}, Action::run, "", false, ""},
      {{"--settings", "./a b.ini", "--debug"}, Action::run, "./a b.ini", true, ""},
      {{"--settings=two.ini"}, Action::run, "two.ini", false, ""},
      {{"--settings", "a.ini", "--settings", "b.ini"}, Action::run, "b.ini", false, ""},
      {{"--debug", "--help"}, Action::help, "", true, ""},
      {{"-h"}, Action::help, "", false, ""},
      {{"--version", "--help"}, Action::help, "", false, ""},
      {{"--version"}, Action::version, "", false, ""},
      // A refusal wins over every text asked for, and stops at the first fault.
      {{"--help", "--bogus"}, Action::usageError, "", false, "vantelink: unknown option --bogus"},
      {{"-x", "--nor-this"}, Action::usageError, "", false, "vantelink: unknown option -x"},
      {{"--settings"}, Action::usageError, "", false, "vantelink: --settings needs a file name"},
      {{"--settings", "--debug"}, Action::usageError, "", false, "vantelink: --settings needs a file name"},
      {{"--settings="}, Action::usageError, "", false, "vantelink: --settings needs a file name"},
      {{"--settings", ""}, Action::usageError, "", false, "vantelink: --settings needs a file name"},
      {{"file.ini"}, Action::usageError, "", false, "vantelink: unexpected argument file.ini"},
      {{"--settings", "/no-such-folder/a.ini"}, Action::usageError, "", false,
       "vantelink: --settings names no file in an existing folder: /no-such-folder/a.ini"},
      {{"--settings", "/"}, Action::usageError, "", false, "vantelink: --settings names no file in an existing folder: /"},
      {{"--debugger"}, Action::usageError, "", false, "vantelink: unknown option --debugger"},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv{"vantelink"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const std::string shown = ::testing::PrintToString(c.args);
    const CommandLine parsed = parseCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(parsed.action, c.action) << shown;
    EXPECT_EQ(commandLineExitStatus(parsed), c.action == Action::usageError ? 2 : 0) << shown;
    EXPECT_EQ(parsed.error, c.error) << shown;
    const std::string answer = commandLineAnswer(parsed);
    const std::string opening[] = {"", "usage: vantelink", "vantelink ", std::string(c.error) + "\nusage: vantelink"};
    EXPECT_TRUE(answer.starts_with(opening[static_cast<int>(c.action)])) << shown << answer;
    EXPECT_EQ(answer.empty(), c.action == Action::run) << shown;
    if (c.action == Action::usageError) continue;
    EXPECT_EQ(parsed.settingsFile, c.settingsFile) << shown;
    EXPECT_EQ(parsed.debug, c.debug) << shown;
  }
}

}  // namespace
