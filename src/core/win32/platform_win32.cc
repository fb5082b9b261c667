// Windows binding of the platform layer. joyGetNumDevs, joyGetPosEx,
// keybd_event, the timer calls, Sleep and _kbhit are the system's own
// (winmm, user32, kernel32 and the C run-time), and message output is
// msg_printf_stdio.cc; only the open/close pair (which asks Windows not to
// throttle the process), the console events' stop and the pause between
// passes need code here.
#if !defined(_WIN32)
#error "platform_win32.cc belongs to the Windows build only"
#endif

#include <cstdio>

#include "../platform.h"
#include "../platform_hooks.h"

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

// Ctrl+C, Ctrl+Break, a closed console, a logoff or a shutdown during the
// conversion: Windows calls the handler on a thread of its own, which asks
// the polling loop to stop and waits until the loop has given back the
// timer resolution and the keys (key output stays on the one thread). Then
// Windows ends the program as it ends it for that event (for Ctrl+C with
// STATUS_CONTROL_C_EXIT). Before the conversion nothing is held, and
// Windows acts at once. A closing console allows 5 s; the wait is bounded
// well below, in case the loop is stuck (an output blocked by a selection
// in the console, say).
constexpr DWORD ORDERLY_END_WAIT_MS = 2000;

volatile LONG converting = 0;
volatile LONG stop_asked = 0;
HANDLE orderly_end_done = nullptr;

BOOL WINAPI on_console_event(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      break;
    default:
      return FALSE;
  }
  if (InterlockedCompareExchange(&converting, 0, 0) != 0) {
    InterlockedExchange(&stop_asked, 1);
    WaitForSingleObject(orderly_end_done, ORDERLY_END_WAIT_MS);
  }
  return FALSE;
}

}  // namespace

bool platform_open() {
  keep_full_speed();
  orderly_end_done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (orderly_end_done != nullptr) SetConsoleCtrlHandler(on_console_event, TRUE);
  return true;
}

void players_assigned(const CntrIds& /*ids*/) { InterlockedExchange(&converting, 1); }

bool stop_requested() { return InterlockedCompareExchange(&stop_asked, 0, 0) != 0; }

// After a console event's stop, what the program wrote goes out, and this
// thread ends without ending the program: the handler's thread, the last
// one, lets Windows end it as it does for that event.
void platform_close() {
  if (!stop_requested() || orderly_end_done == nullptr) return;
  std::fflush(stdout);
  SetEvent(orderly_end_done);
  ExitThread(0);
}

void pause_between_passes(const CntrIds& /*ids*/, const Directions& /*held*/) {
  Sleep(POLL_SLEEP_MS);
}
