#include "program_say.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

void say_as(const char* program, const char* format, ...) {
  // Room for the longest message with a path of the longest length in it.
  char text[PATH_MAX * 4 + 2048];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  std::fprintf(stderr, "%s: %s\n", program, text);
}

bool shell_quoted(const char* text, char* out, std::size_t size) {
  if (size == 0) return false;
  std::size_t at = 0;
  const auto put = [&](const char* part) {
    for (; *part != '\0'; ++part) {
      if (at + 1 >= size) return false;
      out[at++] = *part;
    }
    return true;
  };
  bool fits = put("'");
  for (const char* c = text; fits && *c != '\0'; ++c) {
    const char one[2] = {*c, '\0'};
    fits = put(*c == '\'' ? "'\\''" : one);
  }
  fits = fits && put("'");
  out[fits ? at : 0] = '\0';
  return fits;
}
