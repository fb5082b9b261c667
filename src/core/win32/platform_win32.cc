// Windows binding of the platform layer. joyGetNumDevs, joyGetPosEx,
// keybd_event, the timer calls, Sleep and _kbhit are the system's own
// (winmm, user32, kernel32 and the C run-time), and message output is
// msg_printf_stdio.cc; only the open/close pair (which asks Windows not to
// throttle the process), the ends that skip the orderly one (a console
// event, a fault: the keys go up all the same) and the pause between passes
// need code here.
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

// What lets go of the keys when the program ends without its orderly end
// (key output's release_all_keys_now), from any thread.
void (*volatile let_go)() = nullptr;

void let_go_of_the_keys() {
  if (void (*release)() = let_go; release != nullptr) release();
}

// Ctrl+C, Ctrl+Break or the console closing during the conversion: Windows
// calls the handler on a thread of its own, which asks the polling loop to
// stop and waits. The loop gives back the timer resolution and the keys on
// its own thread (key output stays on the one thread), and that thread then
// ends the program with the status Windows' own handling gives these
// events. Before the conversion nothing is held, and the program ends at
// once. A console program that loads user32 never gets the logoff and
// shutdown events: the keys end with the session then. A closing console
// allows 5 s; the wait is bounded well below, in case the loop is held up
// (an output blocked by a selection in the console, say): past it, the
// handler lets go of the keys itself and ends the program.
constexpr DWORD ORDERLY_END_WAIT_MS = 2000;

volatile LONG converting = 0;
volatile LONG stop_asked = 0;

// As Windows' own handling of these events ends a program, whose status
// tells a script that it did not end on a keystroke. Done here, not left to
// Windows, so that the status is the same everywhere (Wine's own handling
// ends a program with 0).
[[noreturn]] void end_as_a_console_event_does() {
  ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

BOOL WINAPI on_console_event(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  if (InterlockedCompareExchange(&converting, 0, 0) != 0) {
    InterlockedExchange(&stop_asked, 1);
    Sleep(ORDERLY_END_WAIT_MS);  // the program's thread ends it meanwhile
    let_go_of_the_keys();        // held up past the bound
  }
  end_as_a_console_event_does();
}

// A fault (an access violation, a stack overflow...) that nothing handles:
// the keys go up, then Windows ends the program as it would, reporting the
// fault, with the exception's code as its status. The C run-time's own
// filter, which was there first, still gets its turn.
LPTOP_LEVEL_EXCEPTION_FILTER run_times_filter = nullptr;

LONG WINAPI on_fault(EXCEPTION_POINTERS* fault) {
  let_go_of_the_keys();
  return run_times_filter != nullptr ? run_times_filter(fault) : EXCEPTION_CONTINUE_SEARCH;
}

// Enough of the stack left, after an overflow, to let go of the keys.
constexpr ULONG STACK_KEPT_FOR_A_FAULT = 64 * 1024;

}  // namespace

bool platform_open() {
  keep_full_speed();
  ULONG kept = STACK_KEPT_FOR_A_FAULT;
  SetThreadStackGuarantee(&kept);
  run_times_filter = SetUnhandledExceptionFilter(on_fault);
  SetConsoleCtrlHandler(on_console_event, TRUE);
  return true;
}

void on_sudden_end(void (*release)()) { let_go = release; }

void players_assigned(const CntrIds& /*ids*/) { InterlockedExchange(&converting, 1); }

bool stop_requested() { return InterlockedCompareExchange(&stop_asked, 0, 0) != 0; }

// After a console event's stop, what the program wrote goes out and the
// program ends as Windows ends it for these events, with
// STATUS_CONTROL_C_EXIT (0xC000013A).
void platform_close() {
  if (!stop_requested()) return;
  std::fflush(stdout);
  end_as_a_console_event_does();
}

void pause_between_passes(const CntrIds& /*ids*/, const Directions& /*held*/) {
  Sleep(POLL_SLEEP_MS);
}
