#include <windows.h>
#include <mmsystem.h>

#include "app/Program.h"
#include "ui/resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  char title[100] = "Vantelink";
  char className[100] = "VANTELINK";
  LoadStringA(instance, IDS_APP_TITLE, title, sizeof title);
  LoadStringA(instance, IDC_VANTELINK, className, sizeof className);

  Program program;
  program.start();
  ui::WindowSpec windowSpec;
  windowSpec.title = title;
  windowSpec.className = className;
  // Without a window there is nothing to run; a failure is not reported as success.
  if (!program.openWindow(windowSpec)) return 1;
  timeBeginPeriod(1);
  program.run();
  const int32_t code = program.finish();
  timeEndPeriod(1);
  return code;
}
