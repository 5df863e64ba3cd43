#include <X11/Xlib.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "app/CommandLine.h"
#include "app/Program.h"
#include "app/ProgramExit.h"
#include "ui/Display_X11.h"

namespace {

Program* g_program = nullptr;

void onQuitSignal(int) { requestQuit(); }

// Without the window's connection there is nothing left to run. What the user set must be on
// disk, and the dead connection must not be touched again on the way out (no destructors).
void onServerGone(Display*, void*) {
  if (g_program) rescueProgram(g_program->app);
  std::fputs("vantelink: the X server went away; the settings were saved\n", stderr);
  _exit(1);
}

// A lost connection is dealt with by its exit handler: the window's ends the program (above),
// a screen source's only fails its calls until discovery connects again.
int onIoError(Display*) { return 0; }

void installQuitSignals() {
  struct sigaction action {};
  action.sa_handler = onQuitSignal;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
  const CommandLine commandLine = parseCommandLine(argc, argv);
  if (commandLine.action != CommandLine::Action::run) {
    std::fputs(commandLineAnswer(commandLine).c_str(), commandLineExitStatus(commandLine) ? stderr : stdout);
    return commandLineExitStatus(commandLine);
  }
  if (commandLine.debug) setenv("VANTELINK_DEBUG", "1", 1);
  installQuitSignals();
  XSetIOErrorHandler(onIoError);
  Program program;
  program.app.settingsFile = commandLine.settingsFile;
  g_program = &program;
  program.start();
  if (!program.openWindow(ui::WindowSpec{})) {
    if (!ui::x11::current()) {
      const char* name = std::getenv("DISPLAY");
      std::fprintf(stderr, "vantelink: cannot open the X display \"%s\"\n", name ? name : "");
    } else {
      std::fputs("vantelink: the settings window could not be made\n", stderr);
    }
    g_program = nullptr;
    return 1;
  }
  XSetIOErrorExitHandler(ui::x11::current()->dpy, onServerGone, nullptr);
  program.run();
  const int32_t code = program.finish();
  g_program = nullptr;
  return code;
}
