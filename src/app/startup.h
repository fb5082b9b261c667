// The programs' common entry: start-up, then the polling loop.
#pragma once

#include "polling_loop.h"
#include "threshold.h"

// Assigns the controllers, settles the threshold, converts until a console
// keystroke and returns the exit code (0).
int run_conversion(Pacing pacing, int argc, ThresholdArg arg);

template <typename Char>
int run_program(Pacing pacing, int argc, const Char* const* argv) {
  const ThresholdArg arg = argc == 2 ? parse_threshold(argv[1]) : ThresholdArg{0, false};
  return run_conversion(pacing, argc, arg);
}
