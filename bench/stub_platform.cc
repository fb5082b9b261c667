#include "stub_platform.h"

#include <ctime>

StubState stub;

std::int64_t now_ns() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

UINT joyGetNumDevs() { return 16; }

MMRESULT joyGetPosEx(UINT id, JOYINFOEX* info) {
  if (id > 1) return JOYERR_PARMS;
  const long since = stub.kbhit_calls - static_cast<long>(stub.move_at_pass);
  const long moves = id != 0 || stub.move_at_pass == 0 || since < 0 ? 0
                     : stub.move_every == 0                         ? 1
                                                                    : 1 + since / stub.move_every;
  info->dwXpos = stub.x[id] + static_cast<std::uint32_t>(moves) * stub.move_by;
  info->dwButtons = 0;
  return JOYERR_NOERROR;
}

void keybd_event(BYTE, BYTE, DWORD, ULONG_PTR) {
  if (stub.key_events < 64) stub.key_ns[stub.key_events] = now_ns();
  ++stub.key_events;
}

// The pause of a pass whose hold counts: the clock alone.
void pause_between_passes(const CntrIds&, const Directions&) { Sleep(POLL_SLEEP_MS); }

int _kbhit() {
  if (stub.kbhit_calls < 4096) stub.pass_ns[stub.kbhit_calls] = now_ns();
  return ++stub.kbhit_calls > stub.kbhit_after ? 1 : 0;
}

int msg_printf(const char*, ...) { return 0; }

void players_assigned(const CntrIds&) {}

bool stop_requested() { return false; }

void on_sudden_end(void (*)()) {}

bool platform_open() { return true; }

void platform_close() {}
