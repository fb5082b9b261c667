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
// job and the terminal is in its own mode: after a continue, and whenever
// keyconv may have become the foreground job without one. Async-signal-safe.
void console_reenter();

// Restores the mode and closes the terminal, with signals held back.
void console_close();

// keyconv has a terminal, in the foreground or not.
bool console_present();

// The terminal while keyconv has it in the foreground (its mode taken), for
// a wait that a keystroke ends; -1 otherwise: in the background the
// keystrokes are the foreground job's.
int console_wait_fd();

// Becomes readable when keyconv takes the terminal (at the start, and after
// a stop, in the foreground): a wait that began without the terminal ends
// on it, to wait with it. The reader empties it. -1 without a terminal.
int console_taken_fd();

// The terminal hung up: it is gone, and its mode with it. keyconv goes on as
// it does without a terminal.
void console_forget_hung_up();
