#include "motion_detector.h"

#include <cstddef>
#include <limits>

#include "joy_info.h"
#include "messages.h"
#include "platform.h"

namespace {

// A jump of this much or more between two reads is a wrap of the endless
// control past the end of the axis range, not a move towards the jump.
constexpr std::uint32_t WRAP_LIMIT = 0x7FFF;

struct MotionTrack {
  std::uint32_t last_x;
  std::int32_t still_count;
  Direction direction;
  bool primed;
};

MotionTrack tracks[PLAYER_COUNT] = {};

Direction direction_of_move(std::uint32_t last_x, std::uint32_t x) {
  if (x > last_x) return x - last_x < WRAP_LIMIT ? +1 : -1;
  return last_x - x < WRAP_LIMIT ? -1 : +1;
}

}  // namespace

Direction read_direction(int player, const CntrIds& ids, std::int32_t anti_chatter) {
  MotionTrack& track = tracks[player];
  const UINT id = static_cast<UINT>(ids[static_cast<std::size_t>(player)]);
  JOYINFOEX info = prepared_joy_info();

  // The first call takes the starting position from an extra read, so that
  // a control at rest does not start with a move from 0. Tried only once.
  if (!track.primed) {
    if (joyGetPosEx(id, &info) == JOYERR_NOERROR) track.last_x = info.dwXpos;
    track.primed = true;
  }

  if (joyGetPosEx(id, &info) != JOYERR_NOERROR) {
    say(Msg::read_error);
    return track.direction;
  }

  const std::uint32_t x = info.dwXpos;
  if (x == track.last_x) {
    if (track.still_count > anti_chatter) {
      track.direction = 0;
    } else if (track.still_count < std::numeric_limits<std::int32_t>::max()) {
      // Only a threshold of INT32_MAX lets the count reach the top of its
      // range; it stops there instead of overflowing, and the direction
      // then simply stays.
      ++track.still_count;
    }
  } else {
    track.direction = direction_of_move(track.last_x, x);
    track.still_count = 0;
  }
  track.last_x = x;
  return track.direction;
}
