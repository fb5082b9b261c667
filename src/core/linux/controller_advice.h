// What fixes a controller that this user may not open depends on why. Where
// udev runs, keyconv takes only the nodes udev calls joysticks, and
// systemd's rules give every such node to the user whose session is active
// at its seat (uaccess): a refusal there means this user is not that user.
// Without logind nothing gives them to anyone, and without udev no rule
// applies at all.
#pragma once

#include <sys/types.h>

enum class RefusalCause {
  nobody_at_seat,  // logind runs, and no session is active at the controller's seat
  other_user,      // logind runs, and another user's session is active there
  seat_user,       // this user is active at the seat, and refused all the same
  no_logind,       // udev runs, logind does not (seatd, OpenRC without elogind)
  no_udev,         // no udev (a container, an initramfs): the node keeps how it was made
};

// Why, as the machine tells: udev_runs, logind's state under run_systemd
// (/run/systemd, where elogind keeps it too), the controller's seat. For
// other_user, active_uid is who is active there.
RefusalCause refusal_cause(bool udev_runs, const char* run_systemd, const char* seat, uid_t uid,
                           uid_t& active_uid);

// The user's name where it is safe on a udev rule's line and in a shell's
// single quotes (every name useradd makes is), else the number.
void user_for_rule(uid_t uid, char (&out)[64]);

struct Refusal {
  RefusalCause cause;
  const char* seat;
  uid_t uid;          // this user
  uid_t active_uid;   // other_user: the user active at the seat
  const char* group;  // the node's group, where it is not root's
};

// Says on standard error, as program, that the controller name at path
// cannot be opened for error, why, and only a fix that works for that
// cause: never a rule that matches more than joysticks' event nodes, never
// a command that overwrites a file, the input group only as a last resort.
void explain_refused_controller(const char* program, const char* name, const char* path, int error,
                                const Refusal& refusal);
