// Windows binding of the platform layer. joyGetNumDevs, joyGetPosEx,
// keybd_event, the timer calls, Sleep and _kbhit are the system's own
// (winmm, user32, kernel32 and the C run-time), and message output is
// msg_printf_stdio.cc; only the open/close pair (which asks Windows not to
// throttle the process) and the pause between passes need code here.
#if !defined(_WIN32)
#error "platform_win32.cc belongs to the Windows build only"
#endif

#include "../platform.h"

namespace {

using SetProcessInformationCall = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);

// Windows 11 keeps a process that nobody sees, as keyconv is behind a
// full-screen game, to the default timer resolution (Sleep(1) then lasts up
// to 15.6 ms) and may run it slowly on efficiency cores. Asks for neither.
// Windows 10 knows only the second: it refuses the timer's flag, and the
// whole call with it, so the second alone is asked for again. Looked up at
// run time: Windows 7 lacks the call.
void keep_full_speed() {
  const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  if (kernel32 == nullptr) return;
  // By way of void(*)(): FARPROC's own type fits no other call.
  const auto set_process_information = reinterpret_cast<SetProcessInformationCall>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel32, "SetProcessInformation")));
  if (set_process_information == nullptr) return;
  PROCESS_POWER_THROTTLING_STATE never_throttle = {};
  never_throttle.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
  never_throttle.ControlMask =
      PROCESS_POWER_THROTTLING_EXECUTION_SPEED | PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
  never_throttle.StateMask = 0;
  if (set_process_information(GetCurrentProcess(), ProcessPowerThrottling, &never_throttle,
                              sizeof never_throttle)) {
    return;
  }
  never_throttle.ControlMask = PROCESS_POWER_THROTTLING_EXECUTION_SPEED;
  set_process_information(GetCurrentProcess(), ProcessPowerThrottling, &never_throttle,
                          sizeof never_throttle);
}

}  // namespace

bool platform_open() {
  keep_full_speed();
  return true;
}

void platform_close() {}

void pause_between_passes(const CntrIds& /*ids*/, const Directions& /*held*/) {
  Sleep(POLL_SLEEP_MS);
}
