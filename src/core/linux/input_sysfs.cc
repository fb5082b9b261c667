// Reading an event node's description from sysfs.
#if !defined(__linux__)
#error "input_sysfs.cc belongs to the Linux build only"
#endif

#include "input_sysfs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

// The file's first line, without its line feed; false when it cannot be read.
bool read_line(const char* dir, const char* file, char* out, std::size_t size) {
  char path[256];
  std::snprintf(path, sizeof path, "%s/%s", dir, file);
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const ssize_t got = read(fd, out, size - 1);
  close(fd);
  if (got < 0) return false;
  out[got] = '\0';
  out[std::strcspn(out, "\n")] = '\0';
  return true;
}

std::uint16_t read_hex16(const char* dir, const char* file) {
  char text[16];
  if (!read_line(dir, file, text, sizeof text)) return 0;
  unsigned int value = 0;
  return std::sscanf(text, "%x", &value) == 1 ? static_cast<std::uint16_t>(value) : 0;
}

template <std::size_t N>
bool read_bitmap(const char* dir, const char* file, std::uint64_t (&words)[N]) {
  char text[512];
  return read_line(dir, file, text, sizeof text) && parse_caps_bitmap(text, words);
}

}  // namespace

bool read_input_node(const char* sys_class_input, int number, InputNode& node) {
  node = InputNode{};
  node.number = number;
  char device[128];
  std::snprintf(device, sizeof device, "%s/event%d/device", sys_class_input, number);
  char caps_dir[160];
  std::snprintf(caps_dir, sizeof caps_dir, "%s/capabilities", device);
  if (!read_bitmap(caps_dir, "ev", node.caps.ev)) return false;
  // A device without keys or axes has no such bitmap worth reading: zero.
  read_bitmap(caps_dir, "key", node.caps.key);
  read_bitmap(caps_dir, "abs", node.caps.abs);
  read_bitmap(caps_dir, "rel", node.caps.rel);
  read_bitmap(device, "properties", node.caps.prop);
  read_line(device, "name", node.name, sizeof node.name);
  read_line(device, "phys", node.identity.phys, sizeof node.identity.phys);
  read_line(device, "uniq", node.identity.uniq, sizeof node.identity.uniq);
  char id_dir[160];
  std::snprintf(id_dir, sizeof id_dir, "%s/id", device);
  node.identity.bus = read_hex16(id_dir, "bustype");
  node.identity.vendor = read_hex16(id_dir, "vendor");
  node.identity.product = read_hex16(id_dir, "product");
  return true;
}

int event_node_number(const char* name) {
  if (std::strncmp(name, "event", 5) != 0 || name[5] == '\0') return -1;
  int number = 0;
  for (const char* digit = name + 5; *digit != '\0'; ++digit) {
    if (*digit < '0' || *digit > '9' || number > 99999) return -1;
    number = number * 10 + (*digit - '0');
  }
  return number;
}

bool parse_caps_words(const char* text, std::uint64_t* words, int count) {
  // Hex words separated by spaces; the last one is word 0.
  std::uint64_t found[64] = {};
  int total = 0;
  const char* at = text;
  for (;;) {
    while (*at == ' ') ++at;
    if (*at == '\0' || *at == '\n') break;
    if (total == 64) return false;
    std::uint64_t word = 0;
    int digits = 0;
    for (; *at != ' ' && *at != '\0' && *at != '\n'; ++at, ++digits) {
      const char c = *at;
      const int value = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (value < 0 || digits == 16) return false;
      word = word << 4 | static_cast<std::uint64_t>(value);
    }
    found[total++] = word;
  }
  if (total == 0) return false;
  for (int i = 0; i < count; ++i) words[i] = i < total ? found[total - 1 - i] : 0;
  for (int i = count; i < total; ++i) {
    if (found[total - 1 - i] != 0) return false;
  }
  return true;
}
