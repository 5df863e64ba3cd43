// The widget gallery as a program of its own, for tests that drive it from outside (xdotool).
// Usage: vl_ui_gallery [LOG_FILE]
#include <chrono>
#include <cstdio>
#include <thread>

#include "Gallery.h"

int main(int argc, char** argv) {
  std::FILE* log = argc > 1 ? std::fopen(argv[1], "w") : nullptr;
  vltest::GalleryHandler handler(log);
  ui::WindowSpec windowSpec;
  windowSpec.className = "VantelinkGallery";
  windowSpec.title = "Vantelink gallery";
  std::unique_ptr<ui::Window> window = ui::createWindow(windowSpec, handler);
  if (!window) {
    std::fprintf(stderr, "no window\n");
    return 1;
  }
  window->show();
  for (;;) {
    const ui::Pumped r = ui::pumpMessage();
    if (r == ui::Pumped::quit) break;
    if (r == ui::Pumped::none) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  window.reset();
  if (log) std::fclose(log);
  return 0;
}
