// Messages on standard error: the first line of each names the program that
// says it (keyconv and keyconv_busy each name themselves); the lines after
// it go out as they are, so that a command given on a line of its own can
// be pasted into a shell as printed.
#pragma once

#include <cstddef>

// Writes printf's format, with its arguments, after "program: ".
__attribute__((format(printf, 2, 3))) void say_as(const char* program, const char* format, ...);

// text as a terminal may show it, whatever it holds: every byte that could
// drive the terminal (a control byte such as ESC or BEL, a C1 control, a
// byte of no valid UTF-8 character) written \xHH, and \ written \\.
// Device names are whatever a device says. False when it does not fit in
// size (out is then empty); size * 4 + 1 always fits.
bool shown_safely(const char* text, char* out, std::size_t size);

// text quoted for a shell, whatever it holds (a space, an apostrophe, a
// dollar sign): 'text', each ' in it written '\''. A text with a byte that
// shown_safely escapes goes in bash's $'...' instead, that byte written
// \xHH. False when it does not fit in size.
bool shell_quoted(const char* text, char* out, std::size_t size);
