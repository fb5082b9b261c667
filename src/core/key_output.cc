#include "key_output.h"

#include <atomic>

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

// The program's thread changes the keys; release_all_keys_now may run on
// another thread at the same time. Both read and change key_state, and send
// their events, only while they hold the keys.
std::atomic<Direction> key_state[PLAYER_COUNT] = {};
std::atomic_flag keys_held_by_a_thread = ATOMIC_FLAG_INIT;
std::atomic<bool> let_go_for_good = false;  // no key event after release_all_keys_now

// Each try takes some tens of nanoseconds: a wait of a fraction of a second.
constexpr long LONGEST_WAIT_TRIES = 10'000'000;

// Holds the keys for the length of a scope. With tries, gives up after so
// many: the thread that holds them may be stuck, or be this very thread,
// which a fault took away in the middle of a change.
class KeysHeld {
 public:
  explicit KeysHeld(long tries = -1) {
    for (long i = 0; !held_ && (tries < 0 || i < tries); ++i) {
      held_ = !keys_held_by_a_thread.test_and_set(std::memory_order_acquire);
    }
  }
  ~KeysHeld() {
    if (held_) keys_held_by_a_thread.clear(std::memory_order_release);
  }
  KeysHeld(const KeysHeld&) = delete;
  KeysHeld& operator=(const KeysHeld&) = delete;

 private:
  bool held_ = false;
};

enum class Edge { press, release };

// The event of the key that stands for held.
void send(int player, Direction held, Edge edge) {
  const KeyBinding& key = held > 0 ? PLAYER_KEYS[player].rising : PLAYER_KEYS[player].falling;
  keybd_event(key.vk, key.scan, edge == Edge::release ? key.up_flags : key.down_flags, 0);
}

}  // namespace

void update_keys(int player, Direction now) {
  // Every pass asks; few passes change a key.
  if (now == key_state[player].load(std::memory_order_relaxed)) return;
  const KeysHeld held;
  const Direction old = key_state[player];
  if (let_go_for_good || now == old) return;
  if (old != 0) send(player, old, Edge::release);
  if (now != 0) send(player, now, Edge::press);
  key_state[player] = now;
}

void release_keys(int player) {
  const KeysHeld held;
  if (!let_go_for_good && key_state[player] != 0) send(player, key_state[player], Edge::release);
}

void release_all_keys_now() {
  const KeysHeld held(LONGEST_WAIT_TRIES);
  if (let_go_for_good) return;
  let_go_for_good = true;
  for (int player = 0; player < PLAYER_COUNT; ++player) {
    if (key_state[player] != 0) send(player, key_state[player], Edge::release);
  }
}
