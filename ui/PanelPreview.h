#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "settings/DeviceSettings.h"
#include "ui/Window.h"

class DeviceLink;
struct Devices;
struct ScreenSources;

namespace ui {

inline constexpr const char* kPreviewTitle = "パネルのプレビュー";
inline constexpr const char* kPreviewClass = "VANTELINK_PREVIEW";

// The panel preview: what each device shows, as the program last sent it (the lines its link
// remembers), doubled, under the device's name and its link's state. It draws only what changed
// since the last look, so a still screen costs nothing. While it is open, a slot whose port does
// not open gets a stand-in link (see openLinks), so its picture can be tuned with no device.
class PanelPreview : public WindowHandler {
 public:
  PanelPreview(Devices& devices, ScreenSources& sources);
  ~PanelPreview() override;
  PanelPreview(const PanelPreview&) = delete;
  PanelPreview& operator=(const PanelPreview&) = delete;

  // Opens the window for the slots active now (the first slot when none is), or raises it.
  bool open();
  bool isOpen() const;
  // Draws the lines and link states that changed since the last call; call after every frame
  // and whenever the links may have changed. Allocates nothing while nothing changes.
  void follow();
  intptr_t message(Window& w, uint32_t msg, uintptr_t wParam, intptr_t lParam) override;

  Window* window() const { return window_.get(); }

  // Layout, in 96-dpi units: a caption row above each doubled panel.
  static constexpr int32_t kScale = 2;
  static constexpr int32_t kImageWidth = kPanelWidth * kScale;
  static constexpr int32_t kImageHeight = kPanelHeight * kScale;
  static constexpr int32_t kImageStride = kImageWidth / 8;
  static constexpr int32_t kMargin = 6;
  static constexpr int32_t kCaptionHeight = 20;
  static constexpr int32_t kRowHeight = kCaptionHeight + kImageHeight + kMargin;
  // Where slot row i's image lies in the client area.
  static constexpr int32_t imageTop(int32_t row) { return kMargin + row * kRowHeight + kCaptionHeight; }
  static constexpr int32_t imageLeft() { return kMargin; }

 private:
  struct Panel;
  void drawCaption(Painter& p, const Panel& panel) const;
  void drawImage(const Panel& panel, int32_t firstRow, int32_t rowCount);
  // The link's new lines into the panel, in the window's bit order; the lines they changed.
  static bool takeLines(Panel& panel, const DeviceLink& link, bool lowFirst, int32_t& first, int32_t& last);
  void stateText(const Panel& panel, char* out, size_t size) const;

  Devices& devices_;
  ScreenSources& sources_;
  std::vector<std::unique_ptr<Panel>> panels_;
  std::unique_ptr<Window> window_;
};

}  // namespace ui
