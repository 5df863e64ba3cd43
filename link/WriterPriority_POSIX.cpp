#include "link/WriterPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void lowerThisThreadPriority() {
  // Linux keeps a nice value per thread; a few steps up matches "below normal".
  const id_t tid = static_cast<id_t>(syscall(SYS_gettid));
  setpriority(PRIO_PROCESS, tid, getpriority(PRIO_PROCESS, tid) + 2);
}
