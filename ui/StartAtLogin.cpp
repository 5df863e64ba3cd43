#include "ui/StartAtLogin.h"

namespace ui {

namespace {

constexpr std::string_view kReserved = " \t\"'\\><~|&;$*?#()`";

// The Exec key's quoting (a quoted argument escapes ", `, $ and \ with a backslash), under the
// string value's own escape of every backslash; '%' starts a field code, so it is doubled.
std::string execArgument(std::string_view path) {
  std::string out;
  const bool quote = path.find_first_of(kReserved) != std::string_view::npos;
  if (quote) out += '"';
  for (char c : path) {
    if (c == '%') {
      out += "%%";
    } else if (quote && (c == '"' || c == '`' || c == '$')) {
      out += "\\\\";
      out += c;
    } else if (c == '\\') {
      out += "\\\\\\\\";
    } else {
      out += c;
    }
  }
  if (quote) out += '"';
  return out;
}

std::string_view trimmed(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

std::string autostartEntry(std::string_view programPath) {
  if (programPath.empty() || programPath.find_first_of("\n\r") != std::string_view::npos) return {};
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Vantelink\n"
         "Comment=Show a part of the desktop on Vantela memory-LCD displays\n"
         "Exec=" + execArgument(programPath) + "\n"
         "Icon=vantelink\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

bool autostartEntryEnabled(std::string_view text) {
  bool inEntry = false, sawEntry = false;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = trimmed(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.starts_with('[')) {
      inEntry = line == "[Desktop Entry]";
      sawEntry = sawEntry || inEntry;
      continue;
    }
    const size_t equals = line.find('=');
    if (!inEntry || equals == std::string_view::npos) continue;
    const std::string_view key = trimmed(line.substr(0, equals));
    const std::string_view value = trimmed(line.substr(equals + 1));
    if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false")) return false;
  }
  return sawEntry;
}

}  // namespace ui
