#include "threshold.h"

#include "../core/messages.h"
#include "../core/types.h"

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
