// The console keystroke check on the controlling terminal, and the
// terminal's mode: canonical input and echo are off while keyconv has the
// terminal in the foreground, and as they were whenever it stops, goes to
// the background or ends.
#pragma once

// Opens the terminal at path and, when keyconv is in the foreground, turns
// canonical input and echo off, so a single keystroke is seen at once and
// not echoed. In the background, the mode is taken when keyconv becomes the
// foreground job. False when there is no terminal: no keystroke will ever
// be reported.
bool console_open(const char* path);

// Puts the terminal back into the mode it had, leaving any keystroke still
// waiting for the shell. Async-signal-safe.
void console_restore();

// Turns canonical input and echo off again when keyconv is the foreground
// job and the terminal is in its own mode. Async-signal-safe.
void console_reenter();

// Restores the mode and closes the terminal, with signals held back.
void console_close();
