// Windows binding of the platform layer. joyGetNumDevs, joyGetPosEx,
// keybd_event, the timer calls, Sleep and _kbhit are the system's own
// (winmm, user32, kernel32 and the C run-time); only message output and the
// open/close pair need code here.
#if !defined(_WIN32)
#error "platform_win32.cc belongs to the Windows build only"
#endif

#include <cstdarg>
#include <cstdio>

#include "../platform.h"

// Standard output stays in the run-time's default text mode, so every line
// feed reaches the console as CR LF. No code page or locale is set: the
// catalogue's code page 932 bytes go out as they are.
int msg_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = std::vprintf(format, args);
  va_end(args);
  return written;
}

bool platform_open() { return true; }

void platform_close() {}
