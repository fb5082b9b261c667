#include "controller_advice.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "program_say.h"

void user_for_rule(uid_t uid, char (&out)[64]) {
  const passwd* entry = getpwuid(uid);
  const char* name = entry != nullptr ? entry->pw_name : "";
  const bool plain = name[0] != '\0' && name[0] != '-' &&
                     std::strspn(name,
                                 "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                 "0123456789._-") == std::strlen(name);
  if (plain && std::strlen(name) < sizeof out) {
    std::snprintf(out, sizeof out, "%s", name);
  } else {
    std::snprintf(out, sizeof out, "%u", static_cast<unsigned>(uid));
  }
}

namespace {

// ACTIVE_UID= of logind's file of the seat; false when nobody is active.
bool active_uid_of(const char* run_systemd, const char* seat, uid_t& uid) {
  char path[PATH_MAX];
  std::snprintf(path, sizeof path, "%s/seats/%s", run_systemd, seat);
  std::FILE* file = std::fopen(path, "re");
  if (file == nullptr) return false;
  bool found = false;
  char line[256];
  while (!found && std::fgets(line, sizeof line, file) != nullptr) {
    unsigned long value = 0;
    found = std::sscanf(line, "ACTIVE_UID=%lu", &value) == 1;
    if (found) uid = static_cast<uid_t>(value);
  }
  std::fclose(file);
  return found;
}

}  // namespace

RefusalCause refusal_cause(bool udev_runs, const char* run_systemd, const char* seat, uid_t uid,
                           uid_t& active_uid) {
  if (!udev_runs) return RefusalCause::no_udev;
  char seats[PATH_MAX];
  std::snprintf(seats, sizeof seats, "%s/seats", run_systemd);
  if (access(seats, F_OK) != 0) return RefusalCause::no_logind;
  if (!active_uid_of(run_systemd, seat, active_uid)) return RefusalCause::nobody_at_seat;
  return active_uid == uid ? RefusalCause::seat_user : RefusalCause::other_user;
}

void explain_refused_controller(const char* program, const char* name, const char* path, int error,
                                const Refusal& refusal) {
  char shown_name[256 * 4 + 1];
  char shown_path[PATH_MAX * 4 + 1];
  shown_safely(name, shown_name, sizeof shown_name);
  shown_safely(path, shown_path, sizeof shown_path);
  char quoted_path[PATH_MAX * 4 + 4];
  shell_quoted(path, quoted_path, sizeof quoted_path);
  char user[64];
  user_for_rule(refusal.uid, user);
  char active[64];
  user_for_rule(refusal.active_uid, active);
  char seat[64 * 4 + 1];
  shown_safely(refusal.seat, seat, sizeof seat);
  char group[64 * 4 + 1];
  shown_safely(refusal.group[0] != '\0' ? refusal.group : "input", group, sizeof group);
  char why[PATH_MAX * 4 + 1024];
  switch (refusal.cause) {
    case RefusalCause::nobody_at_seat:
      std::snprintf(why, sizeof why,
                    "logind gives the controllers of a seat to the user whose session is active\n"
                    "there, and nobody's is at %s: log in at the machine itself, not over ssh.\n"
                    "%s reads it then, started from that session or from any other of yours.",
                    seat, program);
      break;
    case RefusalCause::other_user:
      std::snprintf(why, sizeof why,
                    "logind gives the controllers of a seat to the user whose session is active\n"
                    "there, and at %s that is %s: switch back to your own session at the\n"
                    "machine, and start %s there.",
                    seat, active, program);
      break;
    case RefusalCause::seat_user:
      std::snprintf(
          why, sizeof why,
          "logind gives the seat's controllers to you, but not this one: a udev rule may\n"
          "take away its uaccess tag, or set its permissions after it. Its tags:\n"
          "  udevadm info --query=property --name=%s",
          quoted_path);
      break;
    case RefusalCause::no_logind:
      std::snprintf(
          why, sizeof why,
          "no logind runs here (seatd, or OpenRC without elogind, say), so nothing gives\n"
          "controllers to the user at the seat. This udev rule gives %s the event node\n"
          "of every joystick, and no other node of any device; it adds a line to a\n"
          "file of its own:\n"
          "  echo 'SUBSYSTEM==\"input\", KERNEL==\"event*\", "
          "ENV{ID_INPUT_JOYSTICK}==\"1\", OWNER=\"%s\"' | "
          "sudo tee -a /etc/udev/rules.d/61-keyconv-joysticks.rules\n"
          "  sudo udevadm control --reload && "
          "sudo udevadm trigger --subsystem-match=input --action=change",
          user, user);
      break;
    case RefusalCause::no_udev:
      std::snprintf(why, sizeof why,
                    "no udev runs here (a container, say), so no rule applies: the node keeps the\n"
                    "owner it was made with. Give it to %s until the controller is plugged in\n"
                    "again (in a container, where the node is made, outside it):\n"
                    "  sudo chown %s %s",
                    user, user, quoted_path);
      break;
  }
  // Where udev runs, the node's group reads it; it reads every keyboard too.
  const bool group_reads = refusal.cause != RefusalCause::no_udev;
  say_as(program, "cannot read the controller \"%s\" (%s): %s.\n%s%s%s%s", shown_name, shown_path,
         std::strerror(error), why,
         group_reads ? "\nOnly if none of this can be done: members of the group '" : "",
         group_reads ? group : "",
         group_reads ? "' may read it,\nbut they may read every keyboard too." : "");
}
