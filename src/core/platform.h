// The platform operations the converter uses, by their Windows names.
//
// Windows binds them to winmm, user32 and the C run-time (win32/), Linux to
// the project's own backend (linux/), and the tests to a scripted fake. The
// core reaches the platform only through this header and platform_hooks.h,
// the project's own hooks, and never knows which binding it runs on.
#pragma once

#include <cstdint>

#include "types.h"

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h must come first.
#include <conio.h>
#include <mmsystem.h>

#else  // Declarations of the same operations for the other bindings.

using BYTE = std::uint8_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using MMRESULT = std::uint32_t;
using ULONG_PTR = std::uintptr_t;

struct JOYINFOEX {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwXpos;
  DWORD dwYpos;
  DWORD dwZpos;
  DWORD dwRpos;
  DWORD dwUpos;
  DWORD dwVpos;
  DWORD dwButtons;
  DWORD dwButtonNumber;
  DWORD dwPOV;
  DWORD dwReserved1;
  DWORD dwReserved2;
};

constexpr MMRESULT JOYERR_NOERROR = 0;
constexpr MMRESULT JOYERR_PARMS = 165;
constexpr MMRESULT JOYERR_UNPLUGGED = 167;
constexpr DWORD JOY_RETURNALL = 0xFF;

constexpr BYTE VK_LSHIFT = 0xA0;
constexpr BYTE VK_RSHIFT = 0xA1;
constexpr BYTE VK_LCONTROL = 0xA2;
constexpr BYTE VK_RCONTROL = 0xA3;
constexpr DWORD KEYEVENTF_EXTENDEDKEY = 1;
constexpr DWORD KEYEVENTF_KEYUP = 2;

UINT joyGetNumDevs();
MMRESULT joyGetPosEx(UINT id, JOYINFOEX* info);
void keybd_event(BYTE vk, BYTE scan, DWORD flags, ULONG_PTR extra_info);
MMRESULT timeBeginPeriod(UINT period_ms);
MMRESULT timeEndPeriod(UINT period_ms);
void Sleep(DWORD ms);
int _kbhit();

#endif

static_assert(sizeof(JOYINFOEX) == 52);
