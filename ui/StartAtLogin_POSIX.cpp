#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/StartAtLogin.h"

namespace ui {

namespace {

// $XDG_CONFIG_HOME/autostart (a relative one does not count), else ~/.config/autostart;
// empty without a home.
std::string autostartFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return std::string(config) + "/autostart";
  const char* home = std::getenv("HOME");
  if (!home || !*home) return {};
  return std::string(home) + "/.config/autostart";
}

std::string entryPath(const std::string& folder) { return folder + "/vantelink.desktop"; }

std::string runningProgram() {
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path);
  return n > 0 && static_cast<size_t>(n) < sizeof path ? std::string(path, static_cast<size_t>(n)) : std::string();
}

bool makeFolders(const std::string& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  const size_t slash = folder.rfind('/');
  if (slash != std::string::npos && slash > 0 && !makeFolders(folder.substr(0, slash))) return false;
  return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

// The whole entry or nothing: written beside it, then put in its place.
bool writeWhole(const std::string& path, const std::string& text) {
  const std::string temp = path + ".tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ok = ::close(fd) == 0 && ok;
  if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return true;
  ::unlink(temp.c_str());
  return false;
}

}  // namespace

bool startsAtLogin() {
  const std::string folder = autostartFolder();
  if (folder.empty()) return false;
  std::FILE* f = std::fopen(entryPath(folder).c_str(), "rb");
  if (!f) return false;
  std::string text;
  char chunk[1024];
  // An entry is a few lines; a huge file is read no further than its start.
  for (size_t n; text.size() < 65536 && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) text.append(chunk, n);
  std::fclose(f);
  return autostartEntryEnabled(text);
}

bool setStartAtLogin(bool on) {
  const std::string folder = autostartFolder();
  if (folder.empty()) return false;
  if (!on) return ::unlink(entryPath(folder).c_str()) == 0 || errno == ENOENT;
  const std::string entry = autostartEntry(runningProgram());
  return !entry.empty() && makeFolders(folder) && writeWhole(entryPath(folder), entry);
}

}  // namespace ui
