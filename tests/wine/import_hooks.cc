#include "import_hooks.h"

#include <cstring>

#include "call_log.h"
#include "console_events.h"

namespace {

constexpr int MAX_ANSWERS = 64;
BOOL process_information[MAX_ANSWERS];
int process_information_count = 0;
int process_information_taken = 0;

// kernel32's Sleep, GetProcAddress and ExitProcess as the program calls
// them, logged:
// (and SetConsoleCtrlHandler, whose handlers are noted: console_events.h)
// the DLL puts these in the program's import table in place of the real
// ones. Of what GetProcAddress finds, SetProcessInformation is logged too.
void(WINAPI* real_sleep)(DWORD) = nullptr;
FARPROC(WINAPI* real_get_proc_address)(HMODULE, LPCSTR) = nullptr;
BOOL(WINAPI* real_set_process_information)
(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD) = nullptr;

DWORD programs_thread = 0;

void WINAPI logged_sleep(DWORD ms) {
  log_call(on_the_programs_thread() ? "Sleep" : "Sleep_elsewhere", ms, 0);
  real_sleep(ms);
}

// "SetProcessInformation <process> <class> <size> [<Version> <ControlMask>
// <StateMask>] = <result>", the three last for a power throttling state.
BOOL WINAPI logged_set_process_information(HANDLE process, PROCESS_INFORMATION_CLASS what,
                                           LPVOID information, DWORD size) {
  const int call = process_information_taken++;
  const BOOL result = call < process_information_count
                          ? process_information[call]
                          : real_set_process_information(process, what, information, size);
  const auto handle = reinterpret_cast<long long>(process);
  const auto* state = static_cast<const PROCESS_POWER_THROTTLING_STATE*>(information);
  if (what == ProcessPowerThrottling && size == sizeof *state) {
    log_call("SetProcessInformation",
             {handle, what, size, state->Version, state->ControlMask, state->StateMask}, result);
  } else {
    log_call("SetProcessInformation", {handle, what, size}, result);
  }
  return result;
}

FARPROC WINAPI logged_get_proc_address(HMODULE module, LPCSTR name) {
  const FARPROC found = real_get_proc_address(module, name);
  // A name, not an ordinal: an ordinal is a number below 0x10000.
  if (found == nullptr || reinterpret_cast<ULONG_PTR>(name) < 0x10000 ||
      std::strcmp(name, "SetProcessInformation") != 0) {
    return found;
  }
  real_set_process_information =
      reinterpret_cast<decltype(real_set_process_information)>(reinterpret_cast<void (*)()>(found));
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&logged_set_process_information));
}

// "ExitProcess <status>", or "ExitProcess_elsewhere" on another thread than
// the program's: the status Windows would give, which Wine cuts to its low
// byte for the Unix process.
void(WINAPI* real_exit_process)(UINT) = nullptr;

void WINAPI logged_exit_process(UINT status) {
  log_call(on_the_programs_thread() ? "ExitProcess" : "ExitProcess_elsewhere", status, 0);
  real_exit_process(status);
}

BOOL(WINAPI* real_set_console_ctrl_handler)(PHANDLER_ROUTINE, BOOL) = nullptr;

BOOL WINAPI noted_set_console_ctrl_handler(PHANDLER_ROUTINE handler, BOOL add) {
  const BOOL result = real_set_console_ctrl_handler(handler, add);
  if (result) note_console_handler(handler, add);
  return result;
}

struct ImportHook {
  const char* name;
  void* logged;
  void** real;
};

const ImportHook IMPORT_HOOKS[] = {
    {"Sleep", reinterpret_cast<void*>(&logged_sleep), reinterpret_cast<void**>(&real_sleep)},
    {"GetProcAddress", reinterpret_cast<void*>(&logged_get_proc_address),
     reinterpret_cast<void**>(&real_get_proc_address)},
    {"SetConsoleCtrlHandler", reinterpret_cast<void*>(&noted_set_console_ctrl_handler),
     reinterpret_cast<void**>(&real_set_console_ctrl_handler)},
    {"ExitProcess", reinterpret_cast<void*>(&logged_exit_process),
     reinterpret_cast<void**>(&real_exit_process)},
};

}  // namespace

bool on_the_programs_thread() { return GetCurrentThreadId() == programs_thread; }

void log_the_programs_calls() {
  programs_thread = GetCurrentThreadId();
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* dll = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       dll->Name != 0; ++dll) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + dll->Name), "KERNEL32.dll") != 0) continue;
    auto* name = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
    for (; name->u1.AddressOfData != 0; ++name, ++slot) {
      if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
      const auto* by_name =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
      for (const ImportHook& hook : IMPORT_HOOKS) {
        if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), hook.name) != 0) continue;
        DWORD protection = 0;
        VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &protection);
        *hook.real = reinterpret_cast<void*>(slot->u1.Function);
        slot->u1.Function = reinterpret_cast<ULONG_PTR>(hook.logged);
        VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
      }
    }
  }
}

void answer_set_process_information(BOOL result) {
  if (process_information_count < MAX_ANSWERS) {
    process_information[process_information_count++] = result;
  }
}
