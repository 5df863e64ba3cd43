#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What one run of the preview tool is asked to do.
struct PreviewOptions {
  std::string settingsPath;  // empty: the defaults
  int32_t slot = 0;
  int32_t frames = 1;
  std::string wirePath;  // empty: the bytes are not kept
  std::string inputPath;
  std::string outputPath;
};

inline constexpr int kExitBadInput = 2;

// Parses the command line (without the program name). False with a one-line reason on a bad
// argument; help is set for --help.
bool parsePreviewArguments(const std::vector<std::string>& args, PreviewOptions& options, bool& help,
                           std::string& error);

// Runs the frame pipeline on the picture and writes the panel (and the wire bytes). Returns
// the exit status: 0, kExitBadInput for an unreadable picture or settings file, 1 when an
// output cannot be written; error holds the reason.
int runPreview(const PreviewOptions& options, std::string& error);
