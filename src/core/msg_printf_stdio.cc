// Message output through the C run-time's printf, shared by the Windows and
// Linux bindings. Standard output stays in the run-time's default mode: on
// Windows that is text mode, so every line feed reaches the console as CR LF.
// No code page or locale is set: the catalogue's bytes go out as they are.
#include <cstdarg>
#include <cstdio>

#include "platform_hooks.h"

int msg_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = std::vprintf(format, args);
  va_end(args);
  return written;
}
