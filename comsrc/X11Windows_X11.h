#pragma once

#include <xcb/xcb.h>

#include <string>

// The desktop's top-level windows as the user sees them: a window manager wraps each client
// window in a frame (a child of the root), and the client window is the one that carries
// WM_STATE; where there is no window manager, the top-level itself when it names its class.
namespace comsrc::x11 {

// The client window at or below `topLevel`; 0 when it holds none (a frame being torn down, an
// override-redirect popup).
xcb_window_t clientWindow(xcb_connection_t* c, xcb_window_t topLevel);
// Its title (_NET_WM_NAME in UTF-8, else WM_NAME) and the class part of WM_CLASS; empty when unset.
std::string windowTitle(xcb_connection_t* c, xcb_window_t window);
std::string windowClass(xcb_connection_t* c, xcb_window_t window);
// The topmost viewable client window whose title and class equal these (an empty one matches
// any); 0 when none does.
xcb_window_t findClientWindow(xcb_connection_t* c, xcb_window_t root, const std::string& title,
                              const std::string& windowClass);

}  // namespace comsrc::x11
