#include <cerrno>
#include <cstdlib>

#include "tools/preview/Preview.h"

namespace {

bool parseNumber(const std::string& text, int32_t low, int32_t high, int32_t& out) {
  if (text.empty() || text[0] == ' ' || text[0] == '+') return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  out = int32_t(v);
  return true;
}

}  // namespace

bool parsePreviewArguments(const std::vector<std::string>& args, PreviewOptions& options, bool& help,
                           std::string& error) {
  help = false;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool hasValue = false;
    if (name == "--help" || name == "-h") {
      help = true;
      return true;
    }
    if (name.rfind("--", 0) != 0 || name == "--") {
      files.push_back(name);
      continue;
    }
    if (const size_t eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
      hasValue = true;
    }
    if (name != "--settings" && name != "--slot" && name != "--frames" && name != "--wire") {
      error = "unknown option " + name;
      return false;
    }
    if (!hasValue) {
      if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (name == "--settings" || name == "--wire") {
      if (value.empty()) {
        error = name + " needs a file name";
        return false;
      }
      (name == "--settings" ? options.settingsPath : options.wirePath) = value;
    } else if (name == "--slot") {
      if (!parseNumber(value, 0, 3, options.slot)) {
        error = "--slot takes 0, 1, 2 or 3, not '" + value + "'";
        return false;
      }
    } else if (!parseNumber(value, 1, 1000000, options.frames)) {
      error = "--frames takes a number from 1 to 1000000, not '" + value + "'";
      return false;
    }
  }
  if (files.size() != 2) {
    error = files.size() < 2 ? "expected INPUT.png and OUTPUT.png" : "unexpected argument " + files[2];
    return false;
  }
  options.inputPath = files[0];
  options.outputPath = files[1];
  return true;
}
