#pragma once

#include <cstdint>

namespace ui {

struct MenuItem {
  const char* text;  // UTF-8; "&" marks the mnemonic
  int32_t command;   // reaches the window as msgCommand
};

struct MenuPopup {
  const char* title;
  const MenuItem* items;
  int32_t count;
};

// The main menu, item for item as the Windows build's menu resource 109.
extern const MenuPopup mainMenu[];
extern const int32_t mainMenuCount;

// Upper-case ASCII letter or digit after the first single "&" of text; 0 when there is none.
uint32_t mnemonicOf(const char* text);

// The texts of the About box, as its dialog resource holds them.
extern const char* const aboutCaption;
extern const char* const aboutVersionLine;
extern const char* const aboutNoticeLine;
extern const char* const aboutFirmwareLine;

// The maker's web page, set at build time.
const char* webPageAddress();

}  // namespace ui
