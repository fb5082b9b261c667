#include "program_say.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

void say_as(const char* program, const char* format, ...) {
  // Room for the longest message with a path of the longest length in it.
  char text[PATH_MAX + 2048];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  for (char* line = text; *line != '\0';) {
    char* end = std::strchr(line, '\n');
    if (end != nullptr) *end = '\0';
    std::fprintf(stderr, "%s: %s\n", program, line);
    if (end == nullptr) break;
    line = end + 1;
  }
}
