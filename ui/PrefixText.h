#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ui {

// A caption with its "&" prefixes resolved as DrawText resolves them: "&x" shows x underlined,
// "&&" shows one "&", a lone "&" at the end vanishes.
struct PrefixText {
  std::string shown;
  size_t underlineAt = std::string::npos;  // byte offset of the underlined character in shown
  size_t underlineLen = 0;                 // its length in bytes (UTF-8)
};

PrefixText resolvePrefix(std::string_view text);

}  // namespace ui
