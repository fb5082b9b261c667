// Windows binding of the platform layer. joyGetNumDevs, joyGetPosEx,
// keybd_event, the timer calls, Sleep and _kbhit are the system's own
// (winmm, user32, kernel32 and the C run-time), and message output is
// msg_printf_stdio.cc; only the open/close pair and the pause between
// passes need code here.
#if !defined(_WIN32)
#error "platform_win32.cc belongs to the Windows build only"
#endif

#include "../platform.h"

bool platform_open() { return true; }

void platform_close() {}

void pause_between_passes(const CntrIds& /*ids*/, const Directions& /*held*/) {
  Sleep(POLL_SLEEP_MS);
}
