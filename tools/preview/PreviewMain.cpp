#include <cstdio>
#include <string>
#include <vector>

#include "tools/preview/Preview.h"

namespace {
const char kUsage[] =
    "usage: vantela-preview [--settings FILE] [--slot N] [--frames K] [--wire FILE] INPUT.png OUTPUT.png\n"
    "Runs the frame pipeline on INPUT.png as if it were the screen and writes the 400 x 240 panel\n"
    "that device slot N (0-3, default 0) would show after K frames (default 1) to OUTPUT.png.\n"
    "--settings FILE  a settings file (default: the default settings)\n"
    "--wire FILE      also write every byte the device receives\n";
}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  PreviewOptions options;
  bool help = false;
  std::string error;
  if (!parsePreviewArguments(args, options, help, error)) {
    std::fprintf(stderr, "vantela-preview: %s (see --help)\n", error.c_str());
    return kExitBadInput;
  }
  if (help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const int status = runPreview(options, error);
  if (status != 0) std::fprintf(stderr, "vantela-preview: %s\n", error.c_str());
  return status;
}
