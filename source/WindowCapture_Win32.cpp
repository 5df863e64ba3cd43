// The window mirror on Windows: the window prints its own client area into the target, so the
// windows that cover it do not show.
#include <cstdio>
#include <new>

#include "comsrc/DIBitmap.h"
#include "comsrc/DrawingContext_GDIBitmap_Win32.h"
#include "comsrc/Trace.h"
#include "comsrc/Windows_Win32.h"
#include "settings/CaptureOptions.h"
#include "source/ScreenCapture_Win32.h"

#ifndef PW_RENDERFULLCONTENT
#define PW_RENDERFULLCONTENT 0x00000002
#endif

namespace {

class WindowCapture_Win32 : public GdiCapture {
 public:
  explicit WindowCapture_Win32(HWND window) : window_(window) {}

  // The window's client area from (srcX, srcY); what lies beyond it is black. GDI cannot tell
  // whether the window drew, so every copy prints it whole.
  bool blitFromScreen(comsrc::DIBitmap& target, ScreenContext*, int32_t srcX, int32_t srcY) override {
    if (lost()) return false;
    RECT client{};
    if (!GetClientRect(window_, &client)) return false;
    comsrc::DrawingContext* c = target.lockContext();
    if (!c) return false;
    bool read = false;
    if (c->getType() == comsrc::kContextTypeGDI) {
      HDC dc = static_cast<comsrc::DrawingContext_GDIBitmap*>(c)->getDC();
      // A window that does not print (or not all of it) leaves black, never the last frame.
      PatBlt(dc, 0, 0, target.getWidth(), target.getHeight(), BLACKNESS);
      const int saved = SaveDC(dc);
      SetViewportOrgEx(dc, -srcX, -srcY, nullptr);
      // Some windows print a fixed picture whatever their size: only the client area counts.
      IntersectClipRect(dc, 0, 0, client.right, client.bottom);
      // Before Windows 8.1 full content is not offered: the window prints as it draws itself.
      read = PrintWindow(window_, dc, PW_CLIENTONLY | PW_RENDERFULLCONTENT) != 0 ||
             PrintWindow(window_, dc, PW_CLIENTONLY) != 0;
      RestoreDC(dc, saved);
    }
    target.unlockContext(c);
    return read;
  }

  // Closed, hidden or minimised: a new capture looks for a matching window again.
  bool lost() const override { return !window_ || !comsrc::win32::showsContent(window_); }

 private:
  HWND window_;
};

}  // namespace

std::unique_ptr<ScreenCapture> makeWindowCapture(CaptureOptions* options, bool*, std::string* tracedChoice,
                                                 bool& offered) {
  offered = true;
  static const CaptureOptions none;
  const CaptureOptions& o = options ? *options : none;
  HWND window = comsrc::win32::findTopLevelWindow(o.windowTitle, o.windowClass);
  std::string line;
  if (window) {
    char handle[24];
    std::snprintf(handle, sizeof handle, "%#lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(window)));
    line = std::string("PrintWindow ") + handle + " \"" + comsrc::win32::windowTitle(window) + "\" class \"" +
           comsrc::win32::windowClass(window) + "\"";
  } else {
    line = "no shown window with title \"" + o.windowTitle + "\" and class \"" + o.windowClass + "\"";
  }
  std::string scratch;
  traceChanged(tracedChoice ? *tracedChoice : scratch, "window capture", line);
  return std::unique_ptr<ScreenCapture>(new (std::nothrow) WindowCapture_Win32(window));
}
