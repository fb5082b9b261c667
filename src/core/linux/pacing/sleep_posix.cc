// Sleep as a monotonic clock_nanosleep that resumes after a signal.
#if !defined(__linux__)
#error "sleep_posix.cc belongs to the Linux build only"
#endif

#include <cerrno>
#include <ctime>

#include "../../platform.h"

void Sleep(DWORD ms) {
  timespec left = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (clock_nanosleep(CLOCK_MONOTONIC, 0, &left, &left) == EINTR) {
  }
}
