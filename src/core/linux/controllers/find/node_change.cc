#include "node_change.h"

#include <cstring>

int number_after(const char* prefix, const char* name) {
  const std::size_t length = std::strlen(prefix);
  if (std::strncmp(name, prefix, length) != 0 || name[length] == '\0') return -1;
  int number = 0;
  for (const char* digit = name + length; *digit != '\0'; ++digit) {
    if (*digit < '0' || *digit > '9' || number > 99'999'999) return -1;  // no overflow
    number = number * 10 + (*digit - '0');
  }
  return number;
}
