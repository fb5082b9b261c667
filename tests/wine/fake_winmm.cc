// A scripted stand-in for winmm.dll, loaded by keyconv.exe under Wine in
// place of the real one (WINEDLLOVERRIDES=winmm=n). It plays a script of
// joystick states, one step per call, logs every call with a timestamp, and
// types a key into the console at a chosen step, so a test decides exactly
// when the keystroke that ends the conversion arrives. The program's calls
// of kernel32's Sleep are logged too, and its SetProcessInformation calls,
// made through a function that GetProcAddress gave it.
//
// Script (file named by KEYCONV_SCRIPT), one directive a line:
//   numdevs N N ...           joyGetNumDevs results, one per call, last repeats
//   joy ID R:X:B R:X:B*K ...  joyGetPosEx results for ID: result, X, buttons;
//                             *K repeats a step K times; the last step repeats
//   key ID STEP               before answering STEP (0-based) of ID, type a key
//   pause ID STEP             before answering STEP of ID, create the file
//                             "reached" in KEYCONV_SYNC_DIR and wait until the
//                             file "go" appears there (the harness acts between)
//   process_information R ... SetProcessInformation results, one per call, in
//                             place of Wine's; past them Wine's own answers
// At load the process id is written to KEYCONV_SYNC_DIR/pid.
// Log (file named by KEYCONV_LOG): "<microseconds> <call> <arg>... = <result>".
#if !defined(_WIN32)
#error "fake_winmm.cc builds the Windows test DLL only"
#endif

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <initializer_list>

#include "console_input.h"

namespace {

struct JoyInfo {  // JOYINFOEX, as the program passes it
  DWORD dwSize, dwFlags, dwXpos, dwYpos, dwZpos, dwRpos, dwUpos, dwVpos, dwButtons, dwButtonNumber,
      dwPOV, dwReserved1, dwReserved2;
};

constexpr int MAX_IDS = 16;
constexpr int MAX_STEPS = 4096;
constexpr UINT JOYERR_PARMS = 165;

struct Step {
  UINT result;
  DWORD x;
  DWORD buttons;
};

struct Track {
  Step steps[MAX_STEPS];
  int count = 0;
  int taken = 0;
  int key_at = -1;
  int pause_at = -1;
};

Track tracks[MAX_IDS];
UINT numdevs[MAX_STEPS] = {16};
int numdevs_count = 1;
int numdevs_taken = 0;
BOOL process_information[MAX_STEPS];
int process_information_count = 0;
int process_information_taken = 0;
FILE* log_file = nullptr;
LARGE_INTEGER clock_rate;
bool loaded = false;

long long microseconds() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  // Absolute, like the key recorder's stamps, so the two logs line up.
  return now.QuadPart / clock_rate.QuadPart * 1000000LL +
         now.QuadPart % clock_rate.QuadPart * 1000000LL / clock_rate.QuadPart;
}

void log_call(const char* what, std::initializer_list<long long> args, long long result) {
  if (log_file == nullptr) return;
  std::fprintf(log_file, "%lld %s", microseconds(), what);
  for (long long arg : args) std::fprintf(log_file, " %lld", arg);
  std::fprintf(log_file, " = %lld\n", result);
}

void log_call(const char* what, long long arg, long long result) { log_call(what, {arg}, result); }

// A key press and release in the console's input, as a user's keystroke.
void type_console_key() { log_call("console_key", 0, type_key_into_console(L'q', 'Q', 0x10)); }

void sync_path(wchar_t* path, const wchar_t* name) {
  const DWORD length = GetEnvironmentVariableW(L"KEYCONV_SYNC_DIR", path, MAX_PATH);
  path[length < MAX_PATH ? length : 0] = L'\0';
  lstrcatW(path, L"\\");
  lstrcatW(path, name);
}

void touch(const wchar_t* name) {
  wchar_t path[MAX_PATH * 2];
  sync_path(path, name);
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  if (std::wcscmp(name, L"pid") == 0) {
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%lu", GetCurrentProcessId());
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
  }
  CloseHandle(file);
}

// Lets the harness act at this exact point: says so, then waits for its go.
void pause_for_harness() {
  touch(L"reached");
  wchar_t go[MAX_PATH * 2];
  sync_path(go, L"go");
  for (DWORD ms = 0; ms < 60000; ++ms) {
    if (GetFileAttributesW(go) != INVALID_FILE_ATTRIBUTES) break;
    Sleep(1);
  }
  log_call("paused", 0, 0);
}

// kernel32's Sleep and GetProcAddress as the program calls them, logged:
// the DLL puts these in the program's import table in place of the real
// ones. Of what GetProcAddress finds, SetProcessInformation is logged too.
void(WINAPI* real_sleep)(DWORD) = nullptr;
FARPROC(WINAPI* real_get_proc_address)(HMODULE, LPCSTR) = nullptr;
BOOL(WINAPI* real_set_process_information)
(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD) = nullptr;

void WINAPI logged_sleep(DWORD ms) {
  log_call("Sleep", ms, 0);
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

struct ImportHook {
  const char* name;
  void* logged;
  void** real;
};

const ImportHook IMPORT_HOOKS[] = {
    {"Sleep", reinterpret_cast<void*>(&logged_sleep), reinterpret_cast<void**>(&real_sleep)},
    {"GetProcAddress", reinterpret_cast<void*>(&logged_get_proc_address),
     reinterpret_cast<void**>(&real_get_proc_address)},
};

void log_the_programs_calls() {
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

void add_steps(Track& track, const char* token) {
  unsigned result = 0, x = 0, buttons = 0, times = 1;
  const int fields = std::sscanf(token, "%u:%u:%u*%u", &result, &x, &buttons, &times);
  if (fields < 3) return;
  for (unsigned i = 0; i < times && track.count < MAX_STEPS; ++i) {
    track.steps[track.count++] = {result, x, buttons};
  }
}

void load_script() {
  loaded = true;
  QueryPerformanceFrequency(&clock_rate);
  if (const char* log_path = std::getenv("KEYCONV_LOG")) log_file = std::fopen(log_path, "w");
  if (log_file != nullptr) std::setvbuf(log_file, nullptr, _IOFBF, 1 << 16);
  const char* script_path = std::getenv("KEYCONV_SCRIPT");
  FILE* script = script_path != nullptr ? std::fopen(script_path, "r") : nullptr;
  if (script == nullptr) return;
  static char line[1 << 16];
  while (std::fgets(line, sizeof line, script) != nullptr) {
    char* save = nullptr;
    const char* word = strtok_r(line, " \t\r\n", &save);
    if (word == nullptr) continue;
    if (std::strcmp(word, "numdevs") == 0) {
      numdevs_count = 0;
      while (const char* n = strtok_r(nullptr, " \t\r\n", &save)) {
        if (numdevs_count < MAX_STEPS) numdevs[numdevs_count++] = static_cast<UINT>(std::atoi(n));
      }
    } else if (std::strcmp(word, "process_information") == 0) {
      while (const char* r = strtok_r(nullptr, " \t\r\n", &save)) {
        if (process_information_count < MAX_STEPS) {
          process_information[process_information_count++] = std::atoi(r);
        }
      }
    } else if (std::strcmp(word, "joy") == 0) {
      const int id = std::atoi(strtok_r(nullptr, " \t\r\n", &save));
      if (id < 0 || id >= MAX_IDS) continue;
      while (const char* token = strtok_r(nullptr, " \t\r\n", &save)) add_steps(tracks[id], token);
    } else if (std::strcmp(word, "key") == 0 || std::strcmp(word, "pause") == 0) {
      const int id = std::atoi(strtok_r(nullptr, " \t\r\n", &save));
      const int step = std::atoi(strtok_r(nullptr, " \t\r\n", &save));
      if (id < 0 || id >= MAX_IDS) continue;
      (word[0] == 'k' ? tracks[id].key_at : tracks[id].pause_at) = step;
    }
  }
  std::fclose(script);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH && !loaded) {
    load_script();
    log_the_programs_calls();
    touch(L"pid");
  }
  if (reason == DLL_PROCESS_DETACH && log_file != nullptr) std::fflush(log_file);
  return TRUE;
}

__declspec(dllexport) UINT WINAPI joyGetNumDevs() {
  const int call = numdevs_taken++;
  const UINT n = numdevs[call < numdevs_count ? call : numdevs_count - 1];
  log_call("joyGetNumDevs", 0, n);
  return n;
}

__declspec(dllexport) UINT WINAPI joyGetPosEx(UINT id, JoyInfo* info) {
  if (id >= MAX_IDS || tracks[id].count == 0) {
    log_call("joyGetPosEx", id, JOYERR_PARMS);
    return JOYERR_PARMS;
  }
  Track& track = tracks[id];
  const int index = track.taken++;
  if (index == track.key_at) type_console_key();
  if (index == track.pause_at) pause_for_harness();
  const Step& step = track.steps[index < track.count ? index : track.count - 1];
  if (info->dwSize != sizeof(JoyInfo)) {
    log_call("joyGetPosEx_bad_record", id, info->dwSize);
    return JOYERR_PARMS;
  }
  if (step.result == 0) {
    info->dwXpos = step.x;
    info->dwButtons = step.buttons;
  }
  log_call("joyGetPosEx", id, step.result);
  return step.result;
}

__declspec(dllexport) UINT WINAPI timeBeginPeriod(UINT period) {
  log_call("timeBeginPeriod", period, 0);
  return 0;
}

__declspec(dllexport) UINT WINAPI timeEndPeriod(UINT period) {
  log_call("timeEndPeriod", period, 0);
  return 0;
}

}  // extern "C"
