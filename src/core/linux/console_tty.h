// The console keystroke check on the controlling terminal.
#pragma once

// Opens the terminal at path and turns canonical input and echo off, so a
// single keystroke is visible at once and not echoed. Without a terminal in
// the foreground nothing changes and no keystroke will ever be reported.
void console_open(const char* path);

// Puts the terminal back into the mode it had, leaving any keystroke still
// waiting for the shell. Async-signal-safe.
void console_restore();

// Turns canonical input and echo off again after console_restore, when the
// program is back in the foreground (after a stop). Async-signal-safe.
void console_reenter();

// Restores the mode and closes the terminal.
void console_close();
