#pragma once

#include <windows.h>

#include <string>

// The desktop's top-level windows as the user sees them, for the window mirror and the pick.
namespace comsrc::win32 {

// Its title and window class name in UTF-8; empty when unset or the window is gone.
std::string windowTitle(HWND window);
std::string windowClass(HWND window);
// Visible and not minimised: a window whose content can be printed.
bool showsContent(HWND window);
// The topmost top-level window that shows content and whose title and class equal these (an
// empty one matches any); null when none does.
HWND findTopLevelWindow(const std::string& title, const std::string& windowClass);

}  // namespace comsrc::win32
