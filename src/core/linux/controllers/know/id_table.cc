#include "id_table.h"

namespace {

bool same_device(const NodeDevice& a, const NodeDevice& b) {
  return a.number == b.number && a.rdev == b.rdev && a.instance == b.instance &&
         likeness(a.identity, b.identity) == Likeness::same_port;
}

}  // namespace

int choose_id(const IdTable& table, const DeviceIdentity& who) {
  int best = -1;
  int best_rank = -1;
  for (int id = 0; id < JOYSTICK_IDS; ++id) {
    const IdEntry& entry = table.ids[id];
    if (entry.state != IdState::absent) continue;
    const Likeness like = likeness(entry.device.identity, who);
    if (like == Likeness::other) continue;
    // The port weighs more than a player: a controller back on its own port
    // is the one that left it.
    const int rank = (like == Likeness::same_port ? 2 : 0) + (entry.player ? 1 : 0);
    if (rank > best_rank) {
      best = id;
      best_rank = rank;
    }
  }
  if (best >= 0) return best;
  for (int id = 0; id < JOYSTICK_IDS; ++id) {
    if (table.ids[id].state == IdState::free) return id;
  }
  return -1;
}

int id_holding(const IdTable& table, const NodeDevice& device) {
  for (int id = 0; id < JOYSTICK_IDS; ++id) {
    const IdEntry& entry = table.ids[id];
    if (entry.state == IdState::present && same_device(entry.device, device)) return id;
  }
  return -1;
}

IdChanges id_appeared(IdTable& table, const NodeDevice& device) {
  IdChanges changes;
  if (id_holding(table, device) >= 0) return changes;
  // Taken out first: the device that left the node may be this very
  // controller, back at its old number, and its id its own again.
  changes.gone = id_removed_at(table, device.number);
  changes.taken = choose_id(table, device.identity);
  if (changes.taken >= 0) {
    IdEntry& entry = table.ids[changes.taken];
    entry.state = IdState::present;
    entry.device = device;
  }
  return changes;
}

void id_gone(IdTable& table, int id) {
  if (table.ids[id].state == IdState::present) table.ids[id].state = IdState::absent;
}

int id_removed_at(IdTable& table, int number) {
  for (int id = 0; id < JOYSTICK_IDS; ++id) {
    const IdEntry& entry = table.ids[id];
    if (entry.state == IdState::present && entry.device.number == number) {
      id_gone(table, id);
      return id;
    }
  }
  return -1;
}

int ids_relisted(IdTable& table, const int* numbers, int count, int (&gone)[JOYSTICK_IDS]) {
  int went = 0;
  for (int id = 0; id < JOYSTICK_IDS; ++id) {
    const IdEntry& entry = table.ids[id];
    if (entry.state != IdState::present) continue;
    bool listed = false;
    for (int i = 0; i < count && !listed; ++i) listed = numbers[i] == entry.device.number;
    if (listed) continue;
    id_gone(table, id);
    gone[went++] = id;
  }
  return went;
}

void id_taken_by_player(IdTable& table, int id) { table.ids[id].player = true; }
