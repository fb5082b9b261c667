// The program's own calls of kernel32 that the scripted winmm.dll logs:
// Sleep, ExitProcess, and the SetProcessInformation that GetProcAddress
// finds, answered from the script where it says so; and the console handlers it registers
// (console_events.h). The DLL puts its own functions in the
// program's import table in place of the real ones.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// Called as the program loads the DLL, on the program's own thread.
void log_the_programs_calls();

// The caller is the program's own thread, not one that Windows made (as
// for a console event's handler). Sleep and ExitProcess calls on another
// thread are logged as "Sleep_elsewhere" and "ExitProcess_elsewhere".
bool on_the_programs_thread();

// The result of the next SetProcessInformation call not yet answered, in
// place of Wine's; past the answers given, Wine's own.
void answer_set_process_information(BOOL result);
