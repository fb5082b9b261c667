#include "pause_clock.h"

std::int64_t monotonic_ns() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

int wait_ppoll(pollfd* fds, nfds_t count, const timespec* timeout) {
  return ppoll(fds, count, timeout, nullptr);
}

void pause_clock_start(PauseClock& clock) {
  const std::int64_t began = clock.pass_began_ns != 0 ? clock.pass_began_ns : clock.now_ns();
  clock.deadline_ns = began + clock.pause_ns;
}

std::int64_t pause_clock_left_ns(const PauseClock& clock) {
  return clock.deadline_ns - clock.now_ns();
}

void pause_clock_end(PauseClock& clock, bool timed) {
  clock.pass_began_ns = timed ? clock.now_ns() : 0;
}
