// The platform operations the converter uses, by their Windows names.
//
// Windows binds them to winmm, user32 and the C run-time (win32/), Linux to
// the project's own backend (linux/), and the tests to a scripted fake. The
// core includes only this header and never knows which binding it runs on.
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

// keyconv's pause per pass.
constexpr DWORD POLL_SLEEP_MS = 1;

// The pause between two passes of keyconv's polling loop. held is each
// player's direction after the pass, what the player's keys hold. Windows
// sleeps POLL_SLEEP_MS. Linux waits for the controllers: a pass whose read
// could count toward letting a held key go begins no sooner than
// POLL_SLEEP_MS after the pass before it began, any other as soon as a
// controller changes, and with nothing held and nothing failing it waits
// without a clock.
void pause_between_passes(const CntrIds& ids, const Directions& held);

// Writes a message of the catalogue to standard output, as printf does.
int msg_printf(const char* format, ...);

// Controller assignment is over: ids are the players' controllers until the
// end. Linux: only these lose their X axis's filter, and get it back at the
// end. Windows: from now on, Ctrl+C and the other console events end the
// conversion in order (the timer resolution and the keys given back) before
// the program ends as Windows ends it.
void players_assigned(const CntrIds& ids);

// The platform asks the conversion to end, as a console keystroke does
// (Windows: a console event since players_assigned). Linux: never; a signal
// lets go of the keys itself.
bool stop_requested();

// Acquires what the binding needs before the first operation (Linux: the
// virtual keyboard and the terminal mode). False means the program cannot
// work at all; the binding has already said why on standard error.
bool platform_open();

// Gives back what platform_open took. Safe to call more than once. Windows:
// after a console event's stop, hands the end to Windows' own handling.
void platform_close();
