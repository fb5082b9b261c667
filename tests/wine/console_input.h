// Writes a key press and release into the console input of the calling
// process (which may have attached to another process's console), as a
// user's keystroke arrives. Returns the number of records written, or -1.
// Both records matter: Wine's _kbhit looks at every waiting record but the
// last, so a lone key-down would go unnoticed there.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

inline long type_key_into_console(wchar_t character, WORD vk, WORD scan_code) {
  HANDLE input =
      CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (input == INVALID_HANDLE_VALUE) return -1;
  INPUT_RECORD records[2] = {};
  for (int i = 0; i < 2; ++i) {
    records[i].EventType = KEY_EVENT;
    KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
    key.bKeyDown = i == 0;
    key.wRepeatCount = 1;
    key.wVirtualKeyCode = vk;
    key.wVirtualScanCode = scan_code;
    key.uChar.UnicodeChar = character;
  }
  DWORD written = 0;
  const BOOL ok = WriteConsoleInputW(input, records, 2, &written);
  CloseHandle(input);
  return ok ? static_cast<long>(written) : -1;
}
