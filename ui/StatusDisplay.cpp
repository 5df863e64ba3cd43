#include <cstdio>

#include "link/DeviceLink.h"
#include "link/Devices.h"
#include "source/ScreenSources.h"
#include "ui/SettingsWindow.h"

namespace ui {

namespace {

const char* statusText(const Devices& devices, const ScreenSources& sources) {
  if (!devices.anyDeviceActive) return "停止中";
  if (sources.mirrorsWindow()) {
    if (sources.windowMirrorUnavailable) return "*この環境ではウィンドウミラーを使えません*";
    if (!sources.sourceReady) return "*ウィンドウが見つかりません*";
  } else if (!sources.mirrorsExternalMonitor()) {
    if (!sources.sourceReady) return "*画面のプロパティを確認してください*";
  } else {
    if (!sources.driverDisplayFound) return "*ドライバをインストールしてください*";
    if (!sources.driverDisplayAttached) return "*画面のプロパティを確認してください*";
  }
  if (!devices.linksOpen) return "*USB接続を確認してください*";
  return "動作中";
}

const char* modeText(CaptureMode mode) {
  switch (mode) {
    case CaptureMode::externalMonitor:
      return "外部モニタ";
    case CaptureMode::window:
      return "ウィンドウミラー";
    default:
      return "メイン画面ミラー";
  }
}

const char* driverText(const ScreenSources& sources) {
  if (!sources.driverDisplayFound) return "*見つかりません*";
  if (!sources.driverDisplayAttached) return "停止中";
  return "動作中";
}

const char* ditherText(int32_t dither) {
  switch (dither) {
    case 0:
      return "白黒2値";
    case 1:
      return "Floyd-Steinberg";
    case 2:
      return "4色ハーフトーン";
    default:
      return "???";
  }
}

// A link whose stream is gone counts as failed: nothing reaches its device.
bool linkFailed(const Devices& devices, size_t slot) {
  DeviceLink* link = devices.link(slot);
  if (!link) return false;
  multio::Stream* serial = link->serial();
  return !serial || serial->failed();
}

}  // namespace

void SettingsWindow::setText(Painter* p, int32_t id, const char* text) {
  auto* label = dynamic_cast<Label*>(form_.findById(id));
  if (!label) return;
  if (trace_ && label->text != text) {
    std::fprintf(trace_, "label %d %s\n", static_cast<int>(id), text);
    std::fflush(trace_);
  }
  label->text = text;
  if (p) label->paint(*p);
}

void SettingsWindow::showDeviceValues(Painter* p, const DeviceSettings& s, bool portOk) {
  char buf[256];
  const char* suffix = s.active ? (portOk ? "OK" : "*エラー*") : "";
  if (s.port >= 1) {
    std::snprintf(buf, sizeof buf, "COM%d %s", s.port, suffix);
    setText(p, idPort, buf);
  } else {
    setText(p, idPort, "*COMポートがありません*");
  }
  std::snprintf(buf, sizeof buf, "%d.%03d kbps", s.speed / 1000, s.speed % 1000);
  setText(p, idSpeed, buf);
  setText(p, idCts, s.cts ? "ON (無線用)" : "off (有線用)");
  setText(p, idDither, ditherText(s.dither));
  std::snprintf(buf, sizeof buf, "%.2f", s.contrast);
  setText(p, idContrast, buf);
  std::snprintf(buf, sizeof buf, "%d", s.offset);
  setText(p, idOffset, buf);
  std::snprintf(buf, sizeof buf, "%.2f", s.gamma);
  setText(p, idGamma, buf);
  setText(p, idInvert, s.invert ? "ON" : "off");
  setText(p, idRotate, s.rotate ? "ON" : "off");
  std::snprintf(buf, sizeof buf, "%d", s.posX);
  setText(p, idPosX, buf);
  std::snprintf(buf, sizeof buf, "%d", s.posY);
  setText(p, idPosY, buf);
  if (auto* box = dynamic_cast<Checkbox*>(form_.findById(idActive))) {
    box->checked = s.active != 0;
    if (p) box->paint(*p);
  }
}

void SettingsWindow::refreshValues(Window& w) {
  std::unique_ptr<Painter> dc = w.painter();
  Painter* p = dc.get();

  setText(p, idStatus, statusText(devices_, sources_));
  if (showInitialising_) {
    std::unique_ptr<Painter> second = w.painter();
    setText(second.get(), idStatus, "初期化中...");
    showInitialising_ = false;
  }
  setText(p, idDriver, driverText(sources_));
  setText(p, idMode, modeText(sources_.captureMode));

  const int32_t current = currentDevice_;
  const size_t slot = static_cast<size_t>(current);
  if (current >= 0 && slot < devices_.slots.size())
    showDeviceValues(p, devices_.slots[slot].settings, devices_.slots[slot].work.portOk);

  auto* device1 = dynamic_cast<OnOffBtn*>(form_.findById(idDevice1));
  auto* device2 = dynamic_cast<OnOffBtn*>(form_.findById(idDevice2));
  if (device1) device1->checked = current == 0;
  if (device2) device2->checked = current == 1;
  if (p) {
    if (device1) device1->paint(*p);
    if (device2) device2->paint(*p);
  }
  setText(p, idDevice1, linkFailed(devices_, 0) ? "Vantela1 *エラー*" : "Vantela1 設定");
  setText(p, idDevice2, linkFailed(devices_, 1) ? "Vantela2 *エラー*" : "Vantela2 設定");
}

}  // namespace ui
