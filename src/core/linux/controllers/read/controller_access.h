// What keyconv says of a controller it cannot read: one whose node this
// user may not open, and one that another program holds for itself
// (EVIOCGRAB: a remapper, a launcher's controller layer).
#pragma once

#include "../know/input_sysfs.h"

// Says once per run, on standard error, that the controller at path cannot
// be opened, why, and the fix for that cause (controller_advice.h).
void report_denied_controller(const char* path, const InputNode& node, int error);

// Makes the next denied controller say so again: a new run starts.
void forget_denied_report();

// Another program holds the controller open at fd for itself: keyconv gets
// none of its events until it lets go.
bool held_elsewhere(int fd);

// Says on standard error that the controller at path is held elsewhere, and
// what the player can do.
void report_held_elsewhere(const char* path, const InputNode& node);
