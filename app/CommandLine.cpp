#include "app/CommandLine.h"

#include "settings/Settings.h"

#include <cstring>
#include <string_view>

#ifndef VL_VERSION
#define VL_VERSION "unknown"
#endif

namespace {

const char* const kUsageText =
    "usage: vantelink [--settings FILE] [--debug]\n"
    "       vantelink --help | --version\n"
    "\n"
    "  --settings FILE  read and write FILE instead of the default settings file, so that\n"
    "                   two instances can drive different devices\n"
    "  --debug          write the displays found, the capture path and every window text\n"
    "                   that changes to standard error (as VANTELINK_DEBUG=1)\n"
    "  --help           show this text\n"
    "  --version        show the program's version\n";


CommandLine usageError(std::string line) {
  CommandLine result;
  result.action = CommandLine::Action::usageError;
  result.error = std::move(line);
  return result;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
  CommandLine result;
  bool help = false, version = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i] ? argv[i] : "";
    if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--version") {
      version = true;
    } else if (arg == "--debug") {
      result.debug = true;
    } else if (arg == "--settings" || arg.starts_with("--settings=")) {
      std::string_view file;
      if (arg.size() > std::strlen("--settings")) {
        file = arg.substr(std::strlen("--settings="));
      } else if (i + 1 < argc && argv[i + 1] && !std::string_view(argv[i + 1]).starts_with("--")) {
        file = argv[++i];
      }
      if (file.empty()) return usageError("vantelink: --settings needs a file name");
      result.settingsFile = file;
      // Found out now rather than at exit, when what the user set could no longer be saved.
      if (!settingsFileUsable(result.settingsFile))
        return usageError("vantelink: --settings names no file in an existing folder: " + result.settingsFile);
    } else if (arg.starts_with("-")) {
      return usageError("vantelink: unknown option " + std::string(arg));
    } else {
      return usageError("vantelink: unexpected argument " + std::string(arg));
    }
  }
  // Asking for a text wins over running, as long as the whole line made sense.
  if (help)
    result.action = CommandLine::Action::help;
  else if (version)
    result.action = CommandLine::Action::version;
  return result;
}

std::string commandLineAnswer(const CommandLine& commandLine) {
  switch (commandLine.action) {
    case CommandLine::Action::help:
      return kUsageText;
    case CommandLine::Action::version:
      return std::string("vantelink ") + VL_VERSION + "\n";
    case CommandLine::Action::usageError:
      return commandLine.error + "\n" + kUsageText;
    case CommandLine::Action::run:
      break;
  }
  return {};
}

int commandLineExitStatus(const CommandLine& commandLine) {
  return commandLine.action == CommandLine::Action::usageError ? 2 : 0;
}
