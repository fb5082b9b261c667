// The message for a controller whose node this user may not open.
#pragma once

#include "../know/input_sysfs.h"

// Says once per run, on standard error, that the controller at path cannot
// be opened, and gives the narrow fix first.
void report_denied_controller(const char* path, const InputNode& node, int error);

// Makes the next denied controller say so again: a new run starts.
void forget_denied_report();
