// The controllers keyconv reads, by joystick id. Only nodes that are
// controllers are ever opened; an id stays with its controller across
// re-plugs, and nothing is looked at while nothing changes.
#pragma once

#include <cstdint>

#include "../../types.h"
#include "controller_ids.h"
#include "device_class.h"
#include "device_watch.h"
#include "read_handoff.h"

struct libevdev;

struct Controller {
  int fd = -1;
  libevdev* dev = nullptr;
  int node = -1;
  int x_min = 0;
  int x_max = 0;
  int button_count = 0;
  std::uint16_t buttons[MAX_BUTTONS] = {};
  int x_value = 0;                 // ABS_X as the device reports it
  std::uint32_t buttons_down = 0;  // bit i: buttons[i] is down
  bool dropping = false;           // the kernel dropped events: catch up at the next report
  ReadHandoff handoff = {};        // between the pause and the next read
};

// Starts a run on paths: forgets every controller, watches for nodes and
// opens the controllers present, in the order of their nodes. The first
// use of the table starts one on the system's paths by itself.
void open_controllers(const InputPaths& paths);

// The players' controllers: their X axes lose their filter, now and
// whenever they come back, until the controllers are closed.
void controllers_of_players(const CntrIds& ids);

// Gives every controller's X axis its own fuzz back and closes them all.
void close_controllers();

// The controller that holds id, after taking in what changed among the nodes
// when it has none; nullptr while none does.
Controller* controller_for(int id);

// The controller that holds id, as it is; nullptr while none does.
Controller* open_controller(int id);

// id was held by a controller that went away.
bool controller_absent(int id);

// The controller of id went away: its id waits for it to come back.
void unplug_controller(int id);
