#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "ui/Form.h"
#include "ui/Window.h"

namespace vltest {

// Every widget class in every state, at fixed places; the pixel tests read the places back from
// the form.
void buildGallery(ui::Form& form);

// Ids of the widgets a user can click in the gallery.
enum GalleryId : int32_t {
  galleryClickButton = 40,
  galleryToggleCheck = 41,
  galleryToggleOnOff = 42,
  galleryDisabledButton = 43,
  galleryNormalSample = 8,
  galleryBoldSample = 9,
  galleryKanaA = 5,
  galleryKanaB = 6,
};

// The gallery's window procedure: paints the form, toggles the check box and on/off button on a
// click, and writes every click, command and About result as a line of its log.
class GalleryHandler : public ui::WindowHandler {
 public:
  explicit GalleryHandler(std::FILE* log = nullptr) : log_(log) {}
  intptr_t message(ui::Window& w, uint32_t msg, uintptr_t wParam, intptr_t lParam) override;

  ui::Form form;
  std::vector<std::string> events;
  int32_t paints = 0;
  bool atLogin = false;  // the start-at-login item's mark, as the program reads it from the desktop

 private:
  void note(const std::string& line);
  std::FILE* log_;
};

}  // namespace vltest
