// Console control events raised inside the program, as Windows raises them,
// for the events Wine cannot raise: Wine 8 refuses GenerateConsoleCtrlEvent
// (ERROR_INVALID_HANDLE, from the program's own process and from one
// attached to its console), so no process can press Ctrl+Break there.
// The handlers the program registers are noted as it registers them
// (through the import hook of SetConsoleCtrlHandler), and still registered
// with Wine, which raises Ctrl+C itself.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// The program registered (add) or removed a handler.
void note_console_handler(PHANDLER_ROUTINE handler, BOOL add);

// As Windows does: on a thread of its own, calls the handlers the program
// registered, the last first, until one returns TRUE; when none does, ends
// the program as Windows' own handling does, with STATUS_CONTROL_C_EXIT.
// Returns at once; the program's thread goes on meanwhile.
void raise_console_event(DWORD event);
