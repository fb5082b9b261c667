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
//   break ID STEP             before answering STEP of ID, press Ctrl+Break:
//                             CTRL_BREAK_EVENT to the program's handlers, on
//                             a thread of its own, as Windows hands it over
//                             (console_events.h: Wine cannot raise it)
//   close ID STEP             the same with CTRL_CLOSE_EVENT: the console's
//                             window is closed
//   fault ID STEP KIND        before answering STEP of ID, fault in the read,
//                             on the program's thread: KIND "write" writes
//                             through a null pointer (an access violation),
//                             "stack" overflows the stack
//   block ID STEP MS          before answering STEP of ID, hold the caller MS
//                             milliseconds, as a read that does not come back
//   process_information R ... SetProcessInformation results, one per call, in
//                             place of Wine's; past them Wine's own answers
// At load the process id is written to KEYCONV_SYNC_DIR/pid.
// Log (file named by KEYCONV_LOG): "<microseconds> <call> <arg>... = <result>".
// Its last line is "process_end 1" when the program's own thread ended the
// process, "process_end 0" when another did (Windows' handling of a console
// event runs on a thread of its own).
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

#include "call_log.h"
#include "console_events.h"
#include "console_input.h"
#include "import_hooks.h"

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
  int break_at = -1;
  int close_at = -1;
  int fault_at = -1;
  bool fault_overflows = false;
  int block_at = -1;
  DWORD block_ms = 0;
};

Track tracks[MAX_IDS];
UINT numdevs[MAX_STEPS] = {16};
int numdevs_count = 1;
int numdevs_taken = 0;
bool loaded = false;

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
// "pause_reached" comes before anything the harness does here; "paused" only
// if the program still runs once the harness is done.
void pause_for_harness() {
  log_call("pause_reached", 0, 0);
  touch(L"reached");
  wchar_t go[MAX_PATH * 2];
  sync_path(go, L"go");
  for (DWORD ms = 0; ms < 60000; ++ms) {
    if (GetFileAttributesW(go) != INVALID_FILE_ATTRIBUTES) break;
    Sleep(1);
  }
  log_call("paused", 0, 0);
}

void add_steps(Track& track, const char* token) {
  unsigned result = 0, x = 0, buttons = 0, times = 1;
  const int fields = std::sscanf(token, "%u:%u:%u*%u", &result, &x, &buttons, &times);
  if (fields < 3) return;
  for (unsigned i = 0; i < times && track.count < MAX_STEPS; ++i) {
    track.steps[track.count++] = {result, x, buttons};
  }
}

// The step of a directive that names one step of a controller's reads.
int Track::*step_of(const char* word) {
  constexpr struct {
    const char* word;
    int Track::*at;
  } STEP_DIRECTIVES[] = {{"key", &Track::key_at},
                         {"pause", &Track::pause_at},
                         {"break", &Track::break_at},
                         {"close", &Track::close_at},
                         {"fault", &Track::fault_at}};
  for (const auto& directive : STEP_DIRECTIVES) {
    if (std::strcmp(word, directive.word) == 0) return directive.at;
  }
  return nullptr;
}

int overflow(int depth) {
  volatile char frame[4096];
  frame[0] = static_cast<char>(depth);
  if (depth == 1'000'000'000) return 0;  // never: the stack ends long before
  return overflow(depth + 1) + frame[0];
}

// A fault of the program's own: the log written first, for the process may
// end without a word to the DLL.
void fault(bool overflows) {
  log_call(overflows ? "fault_stack" : "fault_write", 0, 0);
  flush_call_log();
  if (overflows) overflow(0);
  // Through a pointer the compiler cannot know: it would make a known null
  // pointer's write a trap, another fault.
  static volatile int* volatile nowhere = nullptr;
  *nowhere = 1;
}

void load_script() {
  loaded = true;
  open_call_log(std::getenv("KEYCONV_LOG"));
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
        answer_set_process_information(std::atoi(r));
      }
    } else if (std::strcmp(word, "joy") == 0) {
      const int id = std::atoi(strtok_r(nullptr, " \t\r\n", &save));
      if (id < 0 || id >= MAX_IDS) continue;
      while (const char* token = strtok_r(nullptr, " \t\r\n", &save)) add_steps(tracks[id], token);
    } else if (std::strcmp(word, "block") == 0) {
      const int id = std::atoi(strtok_r(nullptr, " \t\r\n", &save));
      const int step = std::atoi(strtok_r(nullptr, " \t\r\n", &save));
      const int ms = std::atoi(strtok_r(nullptr, " \t\r\n", &save));
      if (id < 0 || id >= MAX_IDS) continue;
      tracks[id].block_at = step;
      tracks[id].block_ms = static_cast<DWORD>(ms);
    } else if (int Track::*at = step_of(word)) {
      const int id = std::atoi(strtok_r(nullptr, " \t\r\n", &save));
      const int step = std::atoi(strtok_r(nullptr, " \t\r\n", &save));
      if (id < 0 || id >= MAX_IDS) continue;
      tracks[id].*at = step;
      if (at == &Track::fault_at) {
        const char* kind = strtok_r(nullptr, " \t\r\n", &save);
        tracks[id].fault_overflows = kind != nullptr && std::strcmp(kind, "stack") == 0;
      }
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
  if (reason == DLL_PROCESS_DETACH) {
    log_process_end(on_the_programs_thread());
  }
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
  if (index == track.break_at) raise_console_event(CTRL_BREAK_EVENT);
  if (index == track.close_at) raise_console_event(CTRL_CLOSE_EVENT);
  if (index == track.fault_at) fault(track.fault_overflows);
  if (index == track.block_at) Sleep(track.block_ms);
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
