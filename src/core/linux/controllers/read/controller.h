// One controller as the read step has it: its node, its X axis's range and
// buttons, what its events last said, and what the pause took in for the
// next read.
#pragma once

#include <cstdint>

#include "../know/device_class.h"

struct libevdev;

// What the pause between passes hands to the next read of the controller.
struct ReadHandoff {
  std::uint32_t last_x = 0;   // dwXpos of the last read
  bool last_read_ok = false;  // the last read succeeded
  bool failed_since = false;  // a read by the pause failed: the next read fails
  bool taken_in = false;      // the pause took the events in: the next read need not
};

struct Controller {
  int fd = -1;
  libevdev* dev = nullptr;
  int x_min = 0;
  int x_max = 0;
  int button_count = 0;
  std::uint16_t buttons[MAX_BUTTONS] = {};
  int x_value = 0;                 // ABS_X as the device reports it
  std::uint32_t buttons_down = 0;  // bit i: buttons[i] is down
  bool dropping = false;           // the kernel dropped events: catch up at the next report
  ReadHandoff handoff = {};
};
