#include "program_say.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// The length of the UTF-8 sequence at text of a character a terminal
// shows, 0 for anything else: a control byte (C0, DEL, and C1 as UTF-8
// encodes it, which some terminals obey), a byte that begins no valid
// sequence, or a sequence cut short.
std::size_t shown_length(const unsigned char* text) {
  const unsigned char first = text[0];
  if (first >= 0x20 && first < 0x7f) return 1;
  std::size_t length = 0;
  unsigned int code = 0;
  if (first >= 0xc2 && first <= 0xdf) {
    length = 2;
    code = first & 0x1fu;
  } else if (first >= 0xe0 && first <= 0xef) {
    length = 3;
    code = first & 0x0fu;
  } else if (first >= 0xf0 && first <= 0xf4) {
    length = 4;
    code = first & 0x07u;
  } else {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if ((text[i] & 0xc0u) != 0x80u) return 0;
    code = code << 6 | (text[i] & 0x3fu);
  }
  const unsigned int least[] = {0, 0, 0xa0, 0x800, 0x10000};  // C1 and overlong forms are out
  if (code < least[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return 0;
  return length;
}

// Writes text into out as escape writes each byte that no terminal may
// see; false when it does not fit, with out then empty.
bool write_escaped(const char* text, char* out, std::size_t size, const char* before,
                   const char* after, const char* (*escape)(unsigned char, char (&)[8])) {
  if (size == 0) return false;
  std::size_t at = 0;
  const auto put = [&](const char* part, std::size_t length) {
    if (at + length >= size) return false;
    std::memcpy(out + at, part, length);
    at += length;
    return true;
  };
  bool fits = put(before, std::strlen(before));
  const auto* byte = reinterpret_cast<const unsigned char*>(text);
  while (fits && *byte != '\0') {
    const std::size_t shown = shown_length(byte);
    char escaped[8];
    const char* special = escape(*byte, escaped);
    if (shown > 0 && special == nullptr) {
      fits = put(reinterpret_cast<const char*>(byte), shown);
      byte += shown;
    } else {
      if (special == nullptr) {
        std::snprintf(escaped, sizeof escaped, "\\x%02x", *byte);
        special = escaped;
      }
      fits = put(special, std::strlen(special));
      ++byte;
    }
  }
  fits = fits && put(after, std::strlen(after));
  out[fits ? at : 0] = '\0';
  return fits;
}

const char* backslash_only(unsigned char byte, char (&)[8]) {
  return byte == '\\' ? "\\\\" : nullptr;
}

const char* single_quoted(unsigned char byte, char (&)[8]) {
  return byte == '\'' ? "'\\''" : nullptr;
}

const char* ansi_c_quoted(unsigned char byte, char (&)[8]) {
  return byte == '\\' ? "\\\\" : byte == '\'' ? "\\'" : nullptr;
}

bool all_shown(const char* text) {
  for (const auto* byte = reinterpret_cast<const unsigned char*>(text); *byte != '\0';) {
    const std::size_t shown = shown_length(byte);
    if (shown == 0) return false;
    byte += shown;
  }
  return true;
}

}  // namespace

void say_as(const char* program, const char* format, ...) {
  // Room for the longest message with a path of the longest length in it.
  char text[PATH_MAX * 4 + 2048];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  std::fprintf(stderr, "%s: %s\n", program, text);
}

bool shown_safely(const char* text, char* out, std::size_t size) {
  return write_escaped(text, out, size, "", "", backslash_only);
}

bool shell_quoted(const char* text, char* out, std::size_t size) {
  // A text with a byte a terminal must not see goes in bash's $'...', where
  // \xHH stands for the byte.
  if (all_shown(text)) return write_escaped(text, out, size, "'", "'", single_quoted);
  return write_escaped(text, out, size, "$'", "'", ansi_c_quoted);
}
