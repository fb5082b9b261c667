#include "node_change.h"

#include <cstring>

int event_node_number(const char* name) {
  if (std::strncmp(name, "event", 5) != 0 || name[5] == '\0') return -1;
  int number = 0;
  for (const char* digit = name + 5; *digit != '\0'; ++digit) {
    if (*digit < '0' || *digit > '9' || number > 99999) return -1;
    number = number * 10 + (*digit - '0');
  }
  return number;
}
