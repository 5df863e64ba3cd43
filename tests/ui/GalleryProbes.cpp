#include "GalleryProbes.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <typeinfo>

#include "Gallery.h"

namespace vltest {

namespace {

using ui::Rect;

struct Checker {
  const Image& img;
  std::vector<std::string>& out;
  int32_t id;

  void px(int32_t x, int32_t y, uint32_t want, const char* what) {
    const uint32_t got = img.at(x, y);
    if (got == want) return;
    char line[160];
    std::snprintf(line, sizeof line, "widget %d: %s at (%d, %d) is %06X, wanted %06X", id, what, x, y, got, want);
    out.emplace_back(line);
  }
  void frame(const Rect& r, uint32_t c, const char* what) {
    const int32_t mx = (r.left + r.right) / 2, my = (r.top + r.bottom) / 2;
    px(r.left, r.top, c, what), px(r.right - 1, r.top, c, what);
    px(r.left, r.bottom - 1, c, what), px(r.right - 1, r.bottom - 1, c, what);
    px(mx, r.top, c, what), px(mx, r.bottom - 1, c, what), px(r.left, my, c, what), px(r.right - 1, my, c, what);
  }
  void fail(const std::string& s) { out.push_back("widget " + std::to_string(id) + ": " + s); }

  // Text ink: inside r, in the expected colour, placed by the alignment.
  void text(const Rect& r, uint32_t back, uint32_t fore, int32_t align, int32_t minInk = 8) {
    const Ink ink = inkIn(img, r, back);
    if (ink.count < minInk) {
      fail("no text ink in its rectangle");
      return;
    }
    const uint32_t foreLevel = fore & 0xFF;
    if (fore == kBlack && ink.darkest > 0x50) fail("text is not drawn in black");
    if (fore == kWhite && ink.lightest < 0xB0) fail("text is not drawn in white");
    if (fore == kGrey && (ink.darkest + 0x30 < foreLevel)) fail("disabled text is darker than grey");
    if (align == 0 && ink.minX - r.left > 3) fail("left-aligned text starts at x " + std::to_string(ink.minX));
    if (align == 2 && r.right - 1 - ink.maxX > 3) fail("right-aligned text ends at x " + std::to_string(ink.maxX));
    if (align == 1 && std::abs((ink.minX + ink.maxX + 1) - (r.left + r.right)) > 5)
      fail("centred text spans " + std::to_string(ink.minX) + ".." + std::to_string(ink.maxX));
    if (std::abs((ink.minY + ink.maxY + 1) - (r.top + r.bottom)) > 7)
      fail("text is not centred vertically: rows " + std::to_string(ink.minY) + ".." + std::to_string(ink.maxY));
  }
};

uint32_t colourOf(bool enabled) { return enabled ? kBlack : kGrey; }

}  // namespace

Ink inkIn(const Image& img, const Rect& r, uint32_t background) {
  Ink ink;
  for (int32_t y = r.top; y < r.bottom; ++y)
    for (int32_t x = r.left; x < r.right; ++x) {
      const uint32_t p = img.at(x, y);
      if (p == background) continue;
      ++ink.count;
      ink.minX = std::min(ink.minX, x), ink.maxX = std::max(ink.maxX, x);
      ink.minY = std::min(ink.minY, y), ink.maxY = std::max(ink.maxY, y);
      const uint32_t lo = std::min({p & 0xFF, (p >> 8) & 0xFF, (p >> 16) & 0xFF});
      const uint32_t hi = std::max({p & 0xFF, (p >> 8) & 0xFF, (p >> 16) & 0xFF});
      ink.darkest = std::min(ink.darkest, lo);
      ink.lightest = std::max(ink.lightest, hi);
    }
  return ink;
}

std::vector<uint8_t> inkShape(const Image& img, const Rect& r, uint32_t background) {
  const Ink ink = inkIn(img, r, background);
  std::vector<uint8_t> shape;
  if (ink.count == 0) return shape;
  shape.push_back(static_cast<uint8_t>(ink.maxX - ink.minX + 1));
  for (int32_t y = ink.minY; y <= ink.maxY; ++y)
    for (int32_t x = ink.minX; x <= ink.maxX; ++x) shape.push_back(img.at(x, y) == background ? 0 : 1);
  return shape;
}

std::vector<std::string> checkGallery(const ui::Form& form, const Image& img) {
  std::vector<std::string> out;
  for (size_t i = 0; i < form.size(); ++i) {
    const ui::Base& w = *form.at(i);
    const Rect& r = w.rect;
    Checker c{img, out, w.id};
    const bool active = w.pressed && w.enabled;
    if (typeid(w) == typeid(ui::GroupRect)) {
      c.frame(r, kBlack, "group frame");
      c.px(r.left + 2, r.top + 2, kWhite, "group fill");
      c.px(r.left + 3, r.bottom, kBlack, "group shadow start");
      c.px(r.left + 2, r.bottom, kWhite, "left of group shadow");
      c.px(r.right, r.bottom, kBlack, "group shadow corner");
      c.px(r.right, r.top + 3, kBlack, "group shadow top");
      c.px(r.right, r.top + 2, kWhite, "above group shadow");
    } else if (typeid(w) == typeid(ui::Label)) {
      const auto& l = static_cast<const ui::Label&>(w);
      c.text(r, kWhite, colourOf(l.enabled), l.align == 0 ? 0 : l.align == 1 ? 1 : 2);
    } else if (typeid(w) == typeid(ui::Button)) {
      c.px(r.left + 2, r.bottom, kBlack, "shadow start");
      c.px(r.left + 1, r.bottom, kWhite, "left of shadow");
      c.px(r.right, r.bottom, kBlack, "shadow corner");
      c.px(r.right, r.top + 2, kBlack, "shadow top");
      c.px(r.right, r.top + 1, kWhite, "above shadow");
      if (active) {
        c.frame(r, kBlack, "pressed fill");
        c.px(r.left + 1, r.top + 1, kBlack, "pressed fill");
        c.text(r, kBlack, kWhite, 1);
      } else {
        c.frame(r, colourOf(w.enabled), "frame");
        c.px(r.left + 1, r.top + 1, kWhite, "inside");
        // A one-character caption ("-") has only a few pixels of ink.
        const auto& b = static_cast<const ui::Button&>(w);
        c.text(ui::insetRect(r, 1), kWhite, colourOf(w.enabled), 1, b.text.size() == 1 ? 2 : 8);
      }
    } else if (typeid(w) == typeid(ui::Checkbox)) {
      const auto& b = static_cast<const ui::Checkbox&>(w);
      const int32_t t = (r.top + r.bottom - 14) / 2;
      const Rect box{r.left + 1, t, r.left + 15, t + 14};
      c.px(r.left, t + 7, kWhite, "left of box");
      c.px(r.left + 3, t + 14, kBlack, "box shadow start");
      c.px(r.left + 2, t + 14, kWhite, "left of box shadow");
      c.px(r.left + 15, t + 14, kBlack, "box shadow corner");
      c.px(r.left + 15, t + 2, kBlack, "box shadow top");
      c.px(r.left + 15, t + 1, kWhite, "above box shadow");
      c.px(r.left + 16, t + 7, kWhite, "right of box shadow");
      const Rect inner = ui::insetRect(box, 2);
      if (active) {
        c.frame(box, kBlack, "pressed box");
        c.frame(ui::insetRect(box, 1), kBlack, "pressed box ring");
      } else {
        c.frame(box, colourOf(w.enabled), "box frame");
        c.frame(ui::insetRect(box, 1), kWhite, "white ring");
      }
      const uint32_t mark = b.checked ? (active ? kBlack : colourOf(w.enabled)) : kWhite;
      c.frame(inner, mark, "box inside");
      c.px((inner.left + inner.right) / 2, (inner.top + inner.bottom) / 2, mark, "box centre");
      c.text({r.left + 20, r.top, r.right, r.bottom}, kWhite, colourOf(w.enabled), 0);
    } else if (typeid(w) == typeid(ui::OnOffBtn)) {
      const auto& b = static_cast<const ui::OnOffBtn&>(w);
      c.px(r.right, r.bottom - 1, kBlack, "shadow bottom");
      c.px(r.right, r.top + 2, kBlack, "shadow top");
      c.px(r.right, r.top + 1, kWhite, "above shadow");
      c.px(r.right, r.bottom, kWhite, "below shadow");
      c.px(r.left + 1, r.bottom, kWhite, "no bottom shadow");
      c.frame(r, active ? kBlack : colourOf(w.enabled), "frame");
      c.frame(ui::insetRect(r, 1), active ? kBlack : kWhite, "second frame");
      const Rect inside = ui::insetRect(r, 2);
      const uint32_t back = b.checked ? colourOf(w.enabled) : kWhite;
      c.px(inside.left, inside.top, back, "inside");
      c.px(inside.right - 1, inside.bottom - 1, back, "inside");
      c.text(inside, back, b.checked ? kWhite : colourOf(w.enabled), 1);
    }
  }
  return out;
}

std::vector<std::string> compareTextBoxes(const ui::Form& form, const Image& a, const Image& b) {
  std::vector<std::string> out;
  for (size_t i = 0; i < form.size(); ++i) {
    const auto* l = dynamic_cast<const ui::Label*>(form.at(i));
    if (!l || l->text.empty()) continue;
    const auto* onOff = dynamic_cast<const ui::OnOffBtn*>(l);
    const auto* box = dynamic_cast<const ui::Checkbox*>(l);
    Rect r = l->rect;
    uint32_t back = kWhite;
    if (onOff) {
      r = ui::insetRect(r, 2);
      if (onOff->checked) back = kBlack;
    } else if (box) {
      r.left += 20;
    } else if (dynamic_cast<const ui::Button*>(l)) {
      r = ui::insetRect(r, 1);
    }
    const Ink ia = inkIn(a, r, back), ib = inkIn(b, r, back);
    const std::string what = "widget " + std::to_string(l->id) + " \"" + l->text + "\": ";
    if ((ia.count > 0) != (ib.count > 0)) {
      out.push_back(what + "text in one capture only");
      continue;
    }
    if (ia.count == 0) continue;
    if (std::abs((ia.minY + ia.maxY) - (ib.minY + ib.maxY)) > 4) out.push_back(what + "not on the same row");
    const int32_t align = box && !onOff ? 0 : dynamic_cast<const ui::Button*>(l) ? 1 : l->align;
    if (align == 0 && std::abs(ia.minX - ib.minX) > 3) out.push_back(what + "left edges differ");
    if (align == 2 && std::abs(ia.maxX - ib.maxX) > 3) out.push_back(what + "right edges differ");
    if (align == 1 && std::abs((ia.minX + ia.maxX) - (ib.minX + ib.maxX)) > 6) out.push_back(what + "centres differ");
    const bool fixedText = l->id == 0 || dynamic_cast<const ui::Button*>(l);
    const int32_t wa = ia.maxX - ia.minX + 1, wb = ib.maxX - ib.minX + 1;
    if (fixedText && std::max(wa, wb) > 8 && (wa * 10 < wb * 7 || wb * 10 < wa * 7))
      out.push_back(what + "widths " + std::to_string(wa) + " and " + std::to_string(wb));
  }
  return out;
}

std::vector<std::string> checkCaptionsWhole(const ui::Form& form, const Image& client, int32_t dpi, int32_t minInk) {
  const auto scaled = [dpi](int32_t x) { return (x * dpi + 48) / 96; };
  std::vector<std::string> out;
  for (size_t i = 0; i < form.size(); ++i) {
    const auto* caption = dynamic_cast<const ui::Label*>(form.at(i));
    if (!caption || caption->id != 0) continue;
    const ui::Rect r{scaled(caption->rect.left), scaled(caption->rect.top), scaled(caption->rect.right),
                     scaled(caption->rect.bottom)};
    const Ink ink = inkIn(client, r, kWhite);
    if (ink.minX <= r.left || ink.count <= minInk) out.push_back("caption cut or missing: " + caption->text);
  }
  return out;
}

}  // namespace vltest
