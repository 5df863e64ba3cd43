#pragma once

#include <string>

// What the command line asks for. Parsing writes nothing (it only looks whether the settings
// file's folder exists): the platform's entry point shows the texts (a terminal or a message
// box) and only then starts anything.
struct CommandLine {
  enum class Action { run, help, version, usageError };
  Action action = Action::run;
  std::string settingsFile;  // --settings FILE; empty for the default file
  bool debug = false;        // --debug, as VANTELINK_DEBUG=1
  std::string error;         // usageError: one line naming the option at fault
};

CommandLine parseCommandLine(int argc, const char* const* argv);

// The exit status of a run that stops at the command line: 0 after --help and --version,
// 2 after a usage error.
int commandLineExitStatus(const CommandLine& commandLine);

// What a run that stops at the command line shows: the usage (with what each option does),
// "vantelink X.Y", or the error line followed by the usage; empty when the program runs.
std::string commandLineAnswer(const CommandLine& commandLine);
