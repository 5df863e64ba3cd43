#pragma once

#include <string>
#include <string_view>

namespace ui {

// Whether the desktop starts this program when the user logs in, as the desktop records it
// (whoever set it): the XDG autostart entry, or the current user's Run key on Windows.
bool startsAtLogin();
// Records the running program (its own path) to be started at login, or removes the record;
// false when it could not be changed.
bool setStartAtLogin(bool on);

// The autostart entry that starts programPath; empty for a path a desktop entry cannot hold.
std::string autostartEntry(std::string_view programPath);
// Whether an autostart entry's text leaves it switched on: it has a [Desktop Entry] group, with
// neither Hidden=true nor X-GNOME-Autostart-enabled=false in it.
bool autostartEntryEnabled(std::string_view text);

}  // namespace ui
