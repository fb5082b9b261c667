// Messages on standard error: the first line of each names the program that
// says it (keyconv and keyconv_busy each name themselves); the lines after
// it go out as they are, so that a command given on a line of its own can
// be pasted into a shell as printed.
#pragma once

#include <cstddef>

// Writes printf's format, with its arguments, after "program: ".
__attribute__((format(printf, 2, 3))) void say_as(const char* program, const char* format, ...);

// text quoted for a POSIX shell, whatever it holds (a space, an apostrophe,
// a dollar sign): 'text', each ' in it written '\''. False when it does not
// fit in size.
bool shell_quoted(const char* text, char* out, std::size_t size);
