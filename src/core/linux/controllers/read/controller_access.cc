// What keyconv says of a controller it cannot read: one whose node this
// user may not open, and one that another program holds for itself.
#if !defined(__linux__)
#error "controller_access.cc belongs to the Linux build only"
#endif

#include "controller_access.h"

#include <grp.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "../../controller_advice.h"
#include "../../program_say.h"
#include "../find/device_watch.h"
#include "../know/udev_verdict.h"

namespace {

bool reported = false;

}  // namespace

void report_denied_controller(const char* path, const InputNode& node, int error) {
  if (reported) return;
  reported = true;
  struct stat info;
  const group* owner = stat(path, &info) == 0 ? getgrgid(info.st_gid) : nullptr;
  char seat[64] = "seat0";
  if (watch_uses_udev()) udev_seat_of(node.number, seat, sizeof seat);
  Refusal refusal = {RefusalCause::no_udev, seat, getuid(), 0,
                     owner != nullptr && owner->gr_gid != 0 ? owner->gr_name : ""};
  refusal.cause =
      refusal_cause(watch_uses_udev(), "/run/systemd", seat, refusal.uid, refusal.active_uid);
  explain_refused_controller(program_invocation_short_name, node.identity.name, path, error,
                             refusal);
}

void forget_denied_report() { reported = false; }

bool held_elsewhere(int fd) {
  // The kernel tells only by refusing a grab of its own. A grab that
  // succeeds is let go at once: other readers miss no event but in the few
  // microseconds between.
  if (ioctl(fd, EVIOCGRAB, 1) == 0) {
    ioctl(fd, EVIOCGRAB, 0);
    return false;
  }
  return errno == EBUSY;
}

void report_held_elsewhere(const char* path, const InputNode& node) {
  char name[sizeof node.identity.name * 4 + 1];
  char shown_path[PATH_MAX * 4 + 1];
  shown_safely(node.identity.name, name, sizeof name);
  shown_safely(path, shown_path, sizeof shown_path);
  say_as(program_invocation_short_name,
         "the controller \"%s\" (%s) is held by another program, which keeps\n"
         "every event of it to itself: a button pressed on it does nothing here. Close that\n"
         "program (a remapper, say), or turn its controller layer off (as a game\n"
         "launcher's); %s takes the controller as soon as it lets go.",
         name, shown_path, program_invocation_short_name);
}
