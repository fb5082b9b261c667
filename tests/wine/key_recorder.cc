// Records every keyboard event on the Wine desktop through a low-level
// keyboard hook: one line per event, "<vk hex> <scan code hex> <up>
// <extended> <injected> <microseconds>", into the file named by the first
// argument. Creates the
// file named by the second argument once the hook is in place, and ends when
// the file named by the third argument appears.
#if !defined(_WIN32)
#error "key_recorder.cc builds a Windows test program only"
#endif

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>

namespace {

FILE* out = nullptr;
LARGE_INTEGER clock_rate;

LRESULT CALLBACK on_key(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION) {
    const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    std::fprintf(out, "%02lX %02lX %d %d %d %lld\n", key->vkCode, key->scanCode,
                 (key->flags & LLKHF_UP) ? 1 : 0, (key->flags & LLKHF_EXTENDED) ? 1 : 0,
                 (key->flags & LLKHF_INJECTED) ? 1 : 0,
                 now.QuadPart / clock_rate.QuadPart * 1000000LL +
                     now.QuadPart % clock_rate.QuadPart * 1000000LL / clock_rate.QuadPart);
    std::fflush(out);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

bool exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
  if (argc != 4) return 2;
  QueryPerformanceFrequency(&clock_rate);
  out = _wfopen(argv[1], L"w");
  if (out == nullptr) return 3;
  HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, on_key, GetModuleHandleW(nullptr), 0);
  if (hook == nullptr) return 4;
  FILE* ready = _wfopen(argv[2], L"w");
  if (ready != nullptr) std::fclose(ready);
  SetTimer(nullptr, 0, 20, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && exists(argv[3])) break;
    DispatchMessageW(&msg);
  }
  UnhookWindowsHookEx(hook);
  std::fclose(out);
  return 0;
}
