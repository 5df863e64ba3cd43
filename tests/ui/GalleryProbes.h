#pragma once

#include <string>
#include <vector>

#include "Image.h"
#include "ui/Form.h"

namespace vltest {

constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kGrey = 0x999999;

// Checks a capture of the gallery's client area against the geometry each widget's state gives:
// frames, shadows, fills and check boxes at their pixels, and where the text ink lies.
// Returns one line per mismatch; empty when everything stands where it should.
std::vector<std::string> checkGallery(const ui::Form& form, const Image& client);

// Compares where the text of each caption, button and check box lies in two captures of the
// same form (two platforms' fonts): the same rows, the same aligned edge, about the same width.
// Value labels are compared by their aligned edge only, their texts may differ.
std::vector<std::string> compareTextBoxes(const ui::Form& form, const Image& a, const Image& b);

// Ink of text inside r: pixels that are not the background colour.
struct Ink {
  int32_t count = 0;
  int32_t minX = 1 << 30, maxX = -1, minY = 1 << 30, maxY = -1;
  uint32_t darkest = 0xFF;  // lowest channel value seen
  uint32_t lightest = 0;    // highest channel value seen among ink pixels
};
Ink inkIn(const Image& img, const ui::Rect& r, uint32_t background);

// Every caption of the form, drawn at `dpi` in `client`, shows whole: it leaves its rectangle's
// first column clear (a caption cut by its rectangle has ink there) and has at least minInk
// pixels. One line per caption that does not.
std::vector<std::string> checkCaptionsWhole(const ui::Form& form, const Image& client, int32_t dpi, int32_t minInk);

// The ink of r as a bitmap cropped to its bounding box, for comparing two glyphs.
std::vector<uint8_t> inkShape(const Image& img, const ui::Rect& r, uint32_t background);

}  // namespace vltest
