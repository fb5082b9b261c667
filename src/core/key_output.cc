#include "key_output.h"

#include "platform.h"

namespace {

struct KeyBinding {
  BYTE vk;
  DWORD down_flags;
  DWORD up_flags;
};

struct PlayerKeys {
  KeyBinding rising;   // held while the direction is +1
  KeyBinding falling;  // held while the direction is -1
};

// Right Control is an extended key: its events carry the flag both ways.
constexpr PlayerKeys PLAYER_KEYS[PLAYER_COUNT] = {
    {{VK_LSHIFT, 0, KEYEVENTF_KEYUP}, {VK_LCONTROL, 0, KEYEVENTF_KEYUP}},
    {{VK_RSHIFT, 0, KEYEVENTF_KEYUP},
     {VK_RCONTROL, KEYEVENTF_EXTENDEDKEY, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP}},
};

Direction key_state[PLAYER_COUNT] = {};

const KeyBinding& binding_for(int player, Direction held) {
  return held > 0 ? PLAYER_KEYS[player].rising : PLAYER_KEYS[player].falling;
}

void key_up(int player, Direction held) {
  const KeyBinding& key = binding_for(player, held);
  keybd_event(key.vk, 0, key.up_flags, 0);
}

void key_down(int player, Direction held) {
  const KeyBinding& key = binding_for(player, held);
  keybd_event(key.vk, 0, key.down_flags, 0);
}

}  // namespace

void update_keys(int player, Direction now) {
  const Direction old = key_state[player];
  if (now == old) return;
  if (old != 0) key_up(player, old);
  if (now != 0) key_down(player, now);
  key_state[player] = now;
}

void release_keys(int player) {
  if (key_state[player] != 0) key_up(player, key_state[player]);
}
