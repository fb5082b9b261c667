// Messages on standard error, each line after the name of the program
// that says it: keyconv and keyconv_busy each name themselves.
#pragma once

// Writes each line of printf's format, with its arguments, after
// "program: ".
__attribute__((format(printf, 2, 3))) void say_as(const char* program, const char* format, ...);
