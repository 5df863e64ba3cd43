#pragma once

namespace ui {

// What one look at the window messages found.
enum class Pumped { handled, none, quit };

}  // namespace ui
