#include "comsrc/Windows_Win32.h"

namespace comsrc::win32 {

namespace {

std::string utf8(const wchar_t* text, int length) {
  if (length <= 0) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
  return out;
}

struct Wanted {
  const std::string& title;
  const std::string& windowClass;
  HWND found = nullptr;
};

// EnumWindows walks the top-level windows from the top of the Z order down.
BOOL CALLBACK matchWindow(HWND window, LPARAM param) {
  Wanted& w = *reinterpret_cast<Wanted*>(param);
  if (!showsContent(window)) return TRUE;
  if (!w.windowClass.empty() && windowClass(window) != w.windowClass) return TRUE;
  if (!w.title.empty() && windowTitle(window) != w.title) return TRUE;
  w.found = window;
  return FALSE;
}

}  // namespace

std::string windowTitle(HWND window) {
  // Another process's window answers from what the system keeps, without a message to it.
  std::wstring text(size_t(GetWindowTextLengthW(window)) + 1, L'\0');
  return utf8(text.data(), GetWindowTextW(window, text.data(), int(text.size())));
}

std::string windowClass(HWND window) {
  wchar_t name[256];  // class names are at most 256 characters
  return utf8(name, GetClassNameW(window, name, int(sizeof name / sizeof *name)));
}

bool showsContent(HWND window) { return IsWindow(window) && IsWindowVisible(window) && !IsIconic(window); }

HWND findTopLevelWindow(const std::string& title, const std::string& windowClass) {
  Wanted wanted{title, windowClass};
  EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&wanted));
  return wanted.found;
}

}  // namespace comsrc::win32
