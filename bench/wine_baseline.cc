// The bare polling loop, for comparison with keyconv.exe under Wine: one
// joystick read and the console check per pass, plus Sleep(1) with the
// timer resolution raised when BASELINE_PACED is 1. Whatever keyconv.exe
// costs beyond this is the tool's own.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// windows.h must come first.
#include <conio.h>
#include <mmsystem.h>

int main() {
  if (BASELINE_PACED) timeBeginPeriod(1);
  for (;;) {
    JOYINFOEX info = {};
    info.dwSize = sizeof info;
    info.dwFlags = JOY_RETURNALL;
    joyGetPosEx(0, &info);
    if (BASELINE_PACED) Sleep(1);
    if (_kbhit()) break;
  }
  if (BASELINE_PACED) timeEndPeriod(1);
  return 0;
}
