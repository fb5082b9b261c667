#include "key_output.h"

#include "platform.h"

namespace {

// A key as keybd_event sends it. scan is the key's set-1 scan code: games
// that read keys through window messages tell left from right by it (wParam
// is only VK_SHIFT or VK_CONTROL there), and raw input and DirectInput
// report nothing else.
struct KeyBinding {
  BYTE vk;
  BYTE scan;
  DWORD down_flags;
  DWORD up_flags;
};

struct PlayerKeys {
  KeyBinding rising;   // held while the direction is +1
  KeyBinding falling;  // held while the direction is -1
};

// Right Control is Left Control's scan code behind the E0 prefix: its events
// carry the extended flag both ways.
constexpr PlayerKeys PLAYER_KEYS[PLAYER_COUNT] = {
    {{VK_LSHIFT, 0x2A, 0, KEYEVENTF_KEYUP}, {VK_LCONTROL, 0x1D, 0, KEYEVENTF_KEYUP}},
    {{VK_RSHIFT, 0x36, 0, KEYEVENTF_KEYUP},
     {VK_RCONTROL, 0x1D, KEYEVENTF_EXTENDEDKEY, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP}},
};

Direction key_state[PLAYER_COUNT] = {};

enum class Edge { press, release };

// The event of the key that stands for held.
void send(int player, Direction held, Edge edge) {
  const KeyBinding& key = held > 0 ? PLAYER_KEYS[player].rising : PLAYER_KEYS[player].falling;
  keybd_event(key.vk, key.scan, edge == Edge::release ? key.up_flags : key.down_flags, 0);
}

}  // namespace

void update_keys(int player, Direction now) {
  const Direction old = key_state[player];
  if (now == old) return;
  if (old != 0) send(player, old, Edge::release);
  if (now != 0) send(player, now, Edge::press);
  key_state[player] = now;
}

void release_keys(int player) {
  if (key_state[player] != 0) send(player, key_state[player], Edge::release);
}
