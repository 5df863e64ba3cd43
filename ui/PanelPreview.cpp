#include "ui/PanelPreview.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "comsrc/RectList.h"
#include "link/DeviceLink.h"
#include "link/Devices.h"
#include "multio/Stream.h"
#include "source/CaptureArea.h"
#include "source/ScreenSources.h"

namespace ui {

namespace {

constexpr int32_t kLines = ShownLines::kLines;
constexpr int32_t kBytes = ShownLines::kBytes;

// A line record's byte (its leftmost pixel in bit 0) as two image bytes, every pixel doubled:
// the first byte in the high half, the leftmost pixel in each byte's top bit or (lowFirst) its
// low bit.
constexpr std::array<uint16_t, 256> makeDoubling(bool lowFirst) {
  std::array<uint16_t, 256> t{};
  for (int v = 0; v < 256; ++v)
    for (int b = 0; b < 8; ++b) {
      if (!((v >> b) & 1)) continue;
      const int byte = b / 4, at = 2 * (b % 4);  // the doubled pixel's byte and its place there
      t[v] |= static_cast<uint16_t>((lowFirst ? 3u << at : 0xC0u >> at) << (byte ? 0 : 8));
    }
  return t;
}
constexpr std::array<uint16_t, 256> kDoublingHighFirst = makeDoubling(false);
constexpr std::array<uint16_t, 256> kDoublingLowFirst = makeDoubling(true);

}  // namespace

struct PanelPreview::Panel {
  int32_t slot = 0;
  int32_t row = 0;
  const DeviceLink* link = nullptr;  // the link last looked at, and its count of changes then
  uint32_t changes = 0;
  uint8_t lines[kLines][kBytes] = {};
  uint8_t known[kLines] = {};
  uint8_t image[kImageHeight * kImageStride] = {};
  std::string state;
};

PanelPreview::PanelPreview(Devices& devices, ScreenSources& sources) : devices_(devices), sources_(sources) {}

PanelPreview::~PanelPreview() {
  window_.reset();
  devices_.standInsWanted = false;
}

bool PanelPreview::isOpen() const { return window_ && window_->alive(); }

bool PanelPreview::open() {
  if (isOpen()) {
    window_->show();
    return true;
  }
  window_.reset();
  panels_.clear();
  for (size_t i = 0; i < devices_.slots.size(); ++i) {
    if (!devices_.slots[i].settings.active) continue;
    panels_.push_back(std::make_unique<Panel>());
    panels_.back()->slot = static_cast<int32_t>(i);
  }
  if (panels_.empty()) panels_.push_back(std::make_unique<Panel>());
  for (size_t r = 0; r < panels_.size(); ++r) panels_[r]->row = static_cast<int32_t>(r);

  WindowSpec windowSpec;
  windowSpec.className = kPreviewClass;
  windowSpec.title = kPreviewTitle;
  windowSpec.mainMenu = false;
  windowSpec.clientWidth = kImageWidth + 2 * kMargin;
  windowSpec.clientHeight = kMargin + static_cast<int32_t>(panels_.size()) * kRowHeight;
  window_ = createWindow(windowSpec, *this);
  if (!window_) return false;
  window_->setTitle(kPreviewTitle);
  window_->show();
  // A slot without a device gets its stand-in at the next try of the ports; the whole area is
  // made anew for it then (the change stays listed until a frame takes it).
  devices_.standInsWanted = true;
  if (sources_.changeList) sources_.changeList->append(kCaptureArea);
  follow();
  return true;
}

void PanelPreview::stateText(const Panel& panel, char* out, size_t size) const {
  const size_t slot = static_cast<size_t>(panel.slot);
  const DeviceSettings& s = devices_.slots[slot].settings;
  const DeviceLink* link = devices_.link(slot);
  const DeviceWork* work = slot < devices_.slots.size() ? &devices_.slots[slot].work : nullptr;
  if (!s.active) {
    std::snprintf(out, size, "オフ");
  } else if (s.port < 1) {
    std::snprintf(out, size, "*COMポートがありません*");
  } else if (!link || !work) {
    std::snprintf(out, size, "COM%d 初期化中...", s.port);
  } else if (work->standIn) {
    std::snprintf(out, size, "COM%d *エラー* (プレビューのみ)", s.port);
  } else {
    multio::Stream* serial = link->serial();
    const bool ok = work->portOk && serial && !serial->failed();
    std::snprintf(out, size, "COM%d %s", s.port, ok ? "OK" : "*エラー*");
  }
}

void PanelPreview::drawCaption(Painter& p, const Panel& panel) const {
  const int32_t top = imageTop(panel.row) - kCaptionHeight;
  const Rect row{kMargin, top, kMargin + kImageWidth, top + kCaptionHeight - 2};
  p.fillRect(row, Colour::white);
  char name[32];
  std::snprintf(name, sizeof name, "Vantela%d", panel.slot + 1);
  p.drawText(name, row, dtLeft | dtVCenter | dtSingleLine, Font::bold, Colour::black, Colour::white);
  p.drawText(panel.state, row, dtRight | dtVCenter | dtSingleLine, Font::normal, Colour::black, Colour::white);
}

void PanelPreview::drawImage(const Panel& panel, int32_t firstRow, int32_t rowCount) {
  window_->drawBits(panel.image + firstRow * kImageStride, kImageStride, kImageWidth, rowCount, imageLeft(),
                    imageTop(panel.row) + firstRow, Colour::white, Colour::black);
}

bool PanelPreview::takeLines(Panel& panel, const DeviceLink& link, bool lowFirst, int32_t& first, int32_t& last) {
  first = kLines, last = 0;
  for (int32_t l = 0; l < kLines; ++l) {
    const uint8_t* bytes = link.shown.line(l + 1);
    if (!bytes || (panel.known[l] && std::memcmp(panel.lines[l], bytes, kBytes) == 0)) continue;
    std::memcpy(panel.lines[l], bytes, kBytes);
    panel.known[l] = 1;
    uint8_t* out = panel.image + 2 * l * kImageStride;
    const std::array<uint16_t, 256>& doubling = lowFirst ? kDoublingLowFirst : kDoublingHighFirst;
    for (int32_t k = 0; k < kBytes; ++k) {
      out[2 * k] = static_cast<uint8_t>(doubling[bytes[k]] >> 8);
      out[2 * k + 1] = static_cast<uint8_t>(doubling[bytes[k]]);
    }
    std::memcpy(out + kImageStride, out, kImageStride);
    if (l < first) first = l;
    last = l + 1;
  }
  return first < last;
}

void PanelPreview::follow() {
  if (!isOpen()) return;
  for (const std::unique_ptr<Panel>& owned : panels_) {
    Panel& panel = *owned;
    char state[128];
    stateText(panel, state, sizeof state);
    if (panel.state != state) {
      panel.state = state;
      if (std::unique_ptr<Painter> p = window_->painter()) drawCaption(*p, panel);
    }
    // A link made anew knows no line yet: the panel keeps what the device was last sent.
    const DeviceLink* link = devices_.link(static_cast<size_t>(panel.slot));
    if (!link || (link == panel.link && link->shown.changes() == panel.changes)) continue;
    panel.link = link;
    panel.changes = link->shown.changes();
    int32_t first = 0, last = 0;
    if (takeLines(panel, *link, window_->bitsLowFirst(), first, last)) drawImage(panel, 2 * first, 2 * (last - first));
  }
}

intptr_t PanelPreview::message(Window& w, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  switch (msg) {
    case msgPaint: {
      if (std::unique_ptr<Painter> p = w.beginPaint()) {
        p->fillRect({0, 0, w.clientWidth(), w.clientHeight()}, Colour::white);
        for (const std::unique_ptr<Panel>& panel : panels_) {
          drawCaption(*p, *panel);
          const int32_t top = imageTop(panel->row);
          p->frameRect({imageLeft() - 1, top - 1, imageLeft() + kImageWidth + 1, top + kImageHeight + 1}, Colour::black);
        }
      }
      if (&w == window_.get())
        for (const std::unique_ptr<Panel>& panel : panels_) drawImage(*panel, 0, kImageHeight);
      return 0;
    }
    case msgDestroy:
      devices_.standInsWanted = false;
      return w.defaultProc(msg, wParam, lParam);
    default:
      return w.defaultProc(msg, wParam, lParam);
  }
}

}  // namespace ui
