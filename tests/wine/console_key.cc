// Types one key press (down and up) into the console of another process:
//   console_key.exe PID
// As a user's keystroke would, it reaches the console's input buffer from
// outside the program.
#if !defined(_WIN32)
#error "console_key.cc builds a Windows test program only"
#endif

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t* argv[]) {
  if (argc != 2) return 2;
  const DWORD pid = static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10));
  FreeConsole();
  if (!AttachConsole(pid)) return 3;
  HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (input == INVALID_HANDLE_VALUE) return 4;
  INPUT_RECORD records[2] = {};
  for (int i = 0; i < 2; ++i) {
    records[i].EventType = KEY_EVENT;
    KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
    key.bKeyDown = i == 0;
    key.wRepeatCount = 1;
    key.wVirtualKeyCode = 'X';
    key.wVirtualScanCode = 0x2D;
    key.uChar.UnicodeChar = L'x';
  }
  DWORD written = 0;
  const BOOL ok = WriteConsoleInputW(input, records, 2, &written);
  CloseHandle(input);
  return ok && written == 2 ? 0 : 5;
}
