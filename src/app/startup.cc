#include "startup.h"

#include "../core/controller_assignment.h"
#include "../core/key_output.h"
#include "../core/messages.h"
#include "../core/platform_hooks.h"

int run_conversion(Pacing pacing, int argc, ThresholdArg arg) {
  on_sudden_end(release_all_keys_now);
  CntrIds ids = {NO_CNTR, NO_CNTR};
  assign_controllers(ids);
  players_assigned(ids);
  const std::int32_t anti_chatter = settle_anti_chatter(argc, arg);
  say(Msg::conversion_start);
  say(Msg::press_key_to_end);
  run_polling_loop(pacing, ids, anti_chatter);
  return 0;
}
