// The controllers keyconv reads, by joystick id. The nodes the find step
// reports are judged by the know step; only controllers are ever opened,
// and an id stays with its controller across re-plugs.
#pragma once

#include "../../../types.h"
#include "../find/device_watch.h"
#include "../know/id_table.h"
#include "controller.h"

// Starts a run on paths: forgets every controller, watches for nodes and
// opens the controllers present, in the order of their nodes.
void open_controllers(const InputPaths& paths);

// The players' controllers: their X axes lose their filter, now and
// whenever they come back, until the controllers are closed.
void controllers_of_players(const CntrIds& ids);

// Gives every controller's X axis its own fuzz back and closes them all.
void close_controllers();

// Takes in what changed among the nodes since the last look, when the
// watch says something did: one system call when nothing did.
void follow_device_changes();

// The controller that holds id; nullptr while none does.
Controller* open_controller(int id);

// id was held by a controller that went away.
bool controller_absent(int id);

// The controller of id went away: its id waits for it to come back, and its
// node is looked at again.
void unplug_controller(int id);
