#include "startup.h"

#include "../core/controller_assignment.h"
#include "../core/messages.h"
#include "../core/platform_hooks.h"

std::int32_t settle_anti_chatter(int argc, ThresholdArg arg) {
  if (argc == 1) {
    say(Msg::no_argument);
    return DEFAULT_ANTI_CHATTER;
  }
  if (argc == 2) {
    if (!arg.valid) {
      say(Msg::invalid_argument);
      return DEFAULT_ANTI_CHATTER;
    }
    say(Msg::argument_set, arg.value);
    return arg.value;
  }
  return 0;
}

int run_conversion(Pacing pacing, int argc, ThresholdArg arg) {
  CntrIds ids = {NO_CNTR, NO_CNTR};
  assign_controllers(ids);
  players_assigned(ids);
  const std::int32_t anti_chatter = settle_anti_chatter(argc, arg);
  say(Msg::conversion_start);
  say(Msg::press_key_to_end);
  run_polling_loop(pacing, ids, anti_chatter);
  return 0;
}
