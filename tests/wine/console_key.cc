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

#include "console_input.h"

int wmain(int argc, wchar_t* argv[]) {
  if (argc != 2) return 2;
  const DWORD pid = static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10));
  FreeConsole();
  if (!AttachConsole(pid)) return 3;
  return type_key_into_console(L'x', 'X', 0x2D) == 2 ? 0 : 5;
}
