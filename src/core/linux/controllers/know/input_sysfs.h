// What sysfs tells about an event node without opening it: capabilities,
// name and the identity a controller keeps across re-plugs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device_class.h"
#include "device_identity.h"

struct InputNode {
  int number;    // N of /dev/input/eventN
  int instance;  // M of the input device inputM behind it, new for every device; -1 if not known
  DeviceCaps caps;
  DeviceIdentity identity;
};

// Reads eventN's device (its instance), capabilities, name and identity
// from sys_class_input (/sys/class/input). False when the node is gone or
// unreadable.
bool read_input_node(const char* sys_class_input, int number, InputNode& node);

// Reads a sysfs capability bitmap ("1f0000 0 0 3", the most significant
// word first, leading zero words left out) into words, bit n of word n / 64
// for code n. The kernel prints it in words of its own long: word_bits 32
// or 64. False for a text that is not such a bitmap or does not fit.
bool parse_caps_words(const char* text, int word_bits, std::uint64_t* words, int count);

template <std::size_t N>
bool parse_caps_bitmap(const char* text, int word_bits, std::uint64_t (&words)[N]) {
  return parse_caps_words(text, word_bits, words, static_cast<int>(N));
}

// The width of the running kernel's long, in bits, for a kernel that
// uname(2) calls machine ("x86_64", "armv7l", ...).
int machine_word_bits(const char* machine);

// The width of the running kernel's long: also for a 32-bit program on a
// 64-bit kernel, whatever personality it runs with.
int kernel_word_bits();
