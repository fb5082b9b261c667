// The message catalogue: every text the programs write to standard output.
#pragma once

#include <cstdint>

enum class Msg {
  setup_1p,
  press_1p,
  cntr_id_ok,  // takes the id taken (-1 when player 2 is skipped)
  release_all,
  setup_2p,
  press_2p,
  skip_2p,
  read_error,
  no_argument,
  invalid_argument,
  argument_set,  // takes the threshold
  conversion_start,
  press_key_to_end,
  count
};

// The format string of a message, in the build's output encoding: code page
// 932 on Windows, UTF-8 elsewhere.
const char* message_text(Msg msg);

void say(Msg msg);
void say(Msg msg, std::int32_t value);
