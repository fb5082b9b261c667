// Reading an event node's description from sysfs.
#if !defined(__linux__)
#error "input_sysfs.cc belongs to the Linux build only"
#endif

#include "input_sysfs.h"

#include <fcntl.h>
#include <sys/personality.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "../find/node_change.h"

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
  return read_line(dir, file, text, sizeof text) &&
         parse_caps_bitmap(text, kernel_word_bits(), words);
}

// M of the kernel's inputM, which device links to: the kernel counts its
// input devices and never gives a number twice. -1 where it is no such link.
int instance_of(const char* device) {
  char target[256];
  const ssize_t length = readlink(device, target, sizeof target - 1);
  if (length <= 0) return -1;
  target[length] = '\0';
  const char* name = std::strrchr(target, '/');
  return number_after("input", name != nullptr ? name + 1 : target);
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
  node.instance = instance_of(device);
  // A device without keys or axes has no such bitmap worth reading: zero.
  read_bitmap(caps_dir, "key", node.caps.key);
  read_bitmap(caps_dir, "abs", node.caps.abs);
  read_bitmap(caps_dir, "rel", node.caps.rel);
  read_bitmap(device, "properties", node.caps.prop);
  read_line(device, "name", node.identity.name, sizeof node.identity.name);
  read_line(device, "phys", node.identity.phys, sizeof node.identity.phys);
  read_line(device, "uniq", node.identity.uniq, sizeof node.identity.uniq);
  char id_dir[160];
  std::snprintf(id_dir, sizeof id_dir, "%s/id", device);
  node.identity.bus = read_hex16(id_dir, "bustype");
  node.identity.vendor = read_hex16(id_dir, "vendor");
  node.identity.product = read_hex16(id_dir, "product");
  return true;
}

bool parse_caps_words(const char* text, int word_bits, std::uint64_t* words, int count) {
  // Hex words separated by spaces; the last one is word 0.
  constexpr int MOST_WORDS = 64;
  std::uint64_t found[MOST_WORDS] = {};
  int total = 0;
  const char* at = text;
  for (;;) {
    while (*at == ' ') ++at;
    if (*at == '\0' || *at == '\n') break;
    if (total == MOST_WORDS) return false;
    std::uint64_t word = 0;
    int digits = 0;
    for (; *at != ' ' && *at != '\0' && *at != '\n'; ++at, ++digits) {
      const char c = *at;
      const int value = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (value < 0 || digits == word_bits / 4) return false;
      word = word << 4 | static_cast<std::uint64_t>(value);
    }
    found[total++] = word;
  }
  if (total == 0) return false;
  for (int i = 0; i < count; ++i) words[i] = 0;
  for (int i = 0; i < total; ++i) {
    const std::uint64_t word = found[total - 1 - i];  // bits i * word_bits on
    const int bit = i * word_bits;
    if (word == 0) continue;
    if (bit / 64 >= count) return false;
    words[bit / 64] |= word << (bit % 64);
  }
  return true;
}

int machine_word_bits(const char* machine) {
  constexpr const char* SIXTY_FOUR_BITS[] = {"x86_64",  "aarch64",     "aarch64_be", "ppc64",
                                             "ppc64le", "s390x",       "mips64",     "riscv64",
                                             "sparc64", "loongarch64", "alpha",      "ia64"};
  for (const char* name : SIXTY_FOUR_BITS) {
    if (std::strcmp(machine, name) == 0) return 64;
  }
  return 32;
}

int kernel_word_bits() {
  static int bits = 0;
  if (bits != 0) return bits;
  // Under a 32-bit personality (setarch linux32) uname names a 32-bit
  // machine on a 64-bit kernel; without it, the kernel's own.
  const int persona = personality(0xffffffff);
  const bool narrowed = persona != -1 && (persona & PER_MASK) == PER_LINUX32;
  if (narrowed) personality(static_cast<unsigned long>((persona & ~PER_MASK) | PER_LINUX));
  utsname names;
  const bool named = uname(&names) == 0;
  if (narrowed) personality(static_cast<unsigned long>(persona));
  bits = named ? machine_word_bits(names.machine) : static_cast<int>(sizeof(long) * 8);
  return bits;
}
