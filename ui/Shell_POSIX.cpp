#include <errno.h>
#include <spawn.h>
#include <sys/wait.h>

#include "ui/Shell.h"

extern char** environ;

namespace ui {

int32_t openAddress(const char* address) {
  if (!address || !*address) return -1;
  // The shell puts xdg-open in the background and ends at once, so no child is left to reap;
  // the address travels as an argument, never as shell text.
  char* const argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"),
                        const_cast<char*>("xdg-open \"$1\" >/dev/null 2>&1 </dev/null &"), const_cast<char*>("sh"),
                        const_cast<char*>(address), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) return -1;
  int status = 0;
  pid_t done = -1;
  do {
    done = waitpid(pid, &status, 0);
  } while (done < 0 && errno == EINTR);
  if (done != pid) return -1;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : -1;
}

}  // namespace ui
