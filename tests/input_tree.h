// A device directory and a sysfs tree made in a temporary directory, for
// the controller backend to find its nodes in: each node described as the
// kernel describes it in sysfs, and the node itself a plain file, a denied
// one, or a link to a real node.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "../src/core/linux/controllers/read/controller_table.h"
#include "real_devices.h"

namespace fs = std::filesystem;

// A sysfs bitmap as the kernel writes it: most significant word first,
// leading zero words left out.
template <std::size_t N>
inline std::string bitmap_text(const std::uint64_t (&words)[N]) {
  std::size_t top = N;
  while (top > 1 && words[top - 1] == 0) --top;
  std::string text;
  for (std::size_t i = top; i-- > 0;) {
    char word[24];
    std::snprintf(word, sizeof word, "%lx", static_cast<unsigned long>(words[i]));
    text += word;
    text += i > 0 ? " " : "\n";
  }
  return text;
}

// A file at path this user may not open with flags: one without
// permissions, or for root (whom permissions do not stop) a link to a sysfs
// file that refuses such an open. False where it cannot be made.
inline bool make_denied_file(const std::string& path, int flags) {
  const char* refusing =
      (flags & O_ACCMODE) == O_RDONLY ? "/sys/bus/cpu/uevent" : "/sys/kernel/notes";
  if (getuid() != 0) {
    close(open(path.c_str(), O_CREAT | O_WRONLY, 0));
  } else if (symlink(refusing, path.c_str()) != 0) {
    return false;
  }
  const int probe = open(path.c_str(), flags);
  if (probe >= 0) close(probe);
  return probe < 0 && errno == EACCES;
}

inline void write_file(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

struct InputTree {
  fs::path root;
  std::string dev, sys;
  InputTree() {
    char dir[] = "/tmp/keyconv-input-XXXXXX";
    root = mkdtemp(dir);
    dev = (root / "dev").string();
    sys = (root / "sys").string();
    fs::create_directories(dev);
    fs::create_directories(sys);
  }
  ~InputTree() {
    open_controllers({"/nonexistent", "/nonexistent"});
    close_controllers();
    fs::remove_all(root);
  }
  // The sysfs side of eventN, as the kernel shows it before the node appears.
  void describe(int number, const DeviceShape& shape, std::uint16_t product = 0x8048) const {
    const fs::path device = fs::path(sys) / ("event" + std::to_string(number)) / "device";
    const DeviceCaps caps = caps_of(shape);
    write_file(device / "capabilities/ev", bitmap_text(caps.ev));
    write_file(device / "capabilities/key", bitmap_text(caps.key));
    write_file(device / "capabilities/abs", bitmap_text(caps.abs));
    write_file(device / "capabilities/rel", bitmap_text(caps.rel));
    write_file(device / "properties", bitmap_text(caps.prop));
    write_file(device / "name", std::string(shape.name) + "\n");
    write_file(device / "phys", phys(number) + "\n");
    write_file(device / "uniq", "\n");
    write_file(device / "id/bustype", "0003\n");
    write_file(device / "id/vendor", "1ccf\n");
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04x\n", product);
    write_file(device / "id/product", hex);
  }
  std::string node(int number) const { return dev + "/event" + std::to_string(number); }
  // A node anybody may open (a plain file: it opens, but is no event device).
  void add_open_node(int number) const { write_file(node(number), ""); }
  // eventN as a link to a real node.
  bool link_node(int number, const std::string& target) const {
    return symlink(target.c_str(), node(number).c_str()) == 0;
  }
  // The physical path describe gives eventN.
  static std::string phys(int number) {
    return "usb-0000:00:14.0-" + std::to_string(number) + "/input0";
  }
  // A node this user may not open.
  bool add_denied_node(int number) const { return make_denied_file(node(number), O_RDONLY); }
  InputPaths paths() const { return {dev.c_str(), sys.c_str()}; }
};
