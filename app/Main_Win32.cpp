#include <windows.h>
#include <mmsystem.h>

#include <cstdlib>
#include <string>

#include "app/CommandLine.h"
#include "app/Program.h"
#include "ui/Painter_Win32.h"
#include "ui/resource.h"

namespace {

// Started from a shell with its output redirected, the text goes there; otherwise (Explorer, a
// shortcut) a program without a console shows it in a message box.
void tell(const std::string& text, bool error) {
  HANDLE out = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (out && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN) {
    DWORD written = 0;
    WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  MessageBoxW(nullptr, ui::widen(text).c_str(), L"Vantelink", MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // The runtime's own split of the command line, in the code page the file functions take.
  const CommandLine commandLine = parseCommandLine(__argc, __argv);
  if (commandLine.action != CommandLine::Action::run) {
    tell(commandLineAnswer(commandLine), commandLineExitStatus(commandLine) != 0);
    return commandLineExitStatus(commandLine);
  }
  if (commandLine.debug) _putenv("VANTELINK_DEBUG=1");

  char title[100] = "Vantelink";
  char className[100] = "VANTELINK";
  LoadStringA(instance, IDS_APP_TITLE, title, sizeof title);
  LoadStringA(instance, IDC_VANTELINK, className, sizeof className);

  Program program;
  program.app.settingsFile = commandLine.settingsFile;
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
