#include "settings/SoundValues.h"

#include "comsrc/Trace.h"

namespace {

// The captured area's size; a position beyond it would show nothing the screen holds.
constexpr int32_t kCaptureWidth = 640, kCaptureHeight = 480;

void take(std::FILE* trace, size_t slot, const char* key, int32_t& value, int32_t sound) {
  if (value == sound) return;
  if (trace)
    std::fprintf(trace, "vantelink: settings: MO.%d.%s=%d taken as %d\n", static_cast<int>(slot), key,
                 static_cast<int>(value), static_cast<int>(sound));
  value = sound;
}

int32_t within(int32_t v, int32_t low, int32_t high) { return v < low ? low : (v > high ? high : v); }

}  // namespace

void makeSettingsSound(DeviceSlots& slots, std::FILE* trace) {
  const DeviceSettings defaults;
  for (size_t i = 0; i < slots.size(); ++i) {
    DeviceSettings& s = slots[i];
    take(trace, i, "ROTATE", s.rotate, s.rotate == 2 ? 2 : 0);
    take(trace, i, "DITHER", s.dither, s.dither >= 0 && s.dither <= 2 ? s.dither : 0);
    take(trace, i, "SHRINK", s.shrink, s.shrink >= 0 && s.shrink <= 3 ? s.shrink : 0);
    take(trace, i, "SPEED", s.speed, s.speed > 0 ? s.speed : defaults.speed);
    take(trace, i, "POS.X", s.posX, within(s.posX, 0, kCaptureWidth - kPanelWidth));
    take(trace, i, "POS.Y", s.posY, within(s.posY, 0, kCaptureHeight - kPanelHeight));
  }
  if (trace) std::fflush(trace);
}

std::FILE* settingsTrace() { return tracing() ? stderr : nullptr; }
