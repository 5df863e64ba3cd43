#include "ui/PrefixText.h"

namespace ui {

namespace {

size_t utf8Length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

}  // namespace

PrefixText resolvePrefix(std::string_view text) {
  PrefixText out;
  out.shown.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (text[i] != '&') {
      out.shown.push_back(text[i++]);
      continue;
    }
    if (i + 1 >= text.size()) break;
    if (text[i + 1] == '&') {
      out.shown.push_back('&');
      i += 2;
      continue;
    }
    const size_t len = utf8Length(static_cast<unsigned char>(text[i + 1]));
    const size_t take = len <= text.size() - (i + 1) ? len : text.size() - (i + 1);
    out.underlineAt = out.shown.size();  // the last prefix wins, as with DrawText
    out.underlineLen = take;
    out.shown.append(text.substr(i + 1, take));
    i += 1 + take;
  }
  return out;
}

}  // namespace ui
