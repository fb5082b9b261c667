// Desktops give the seat's user the joysticks (systemd's uaccess), but not
// keyboards and mice: the fix for a denied controller is to be that user, or
// to have the controller given to that user. A group such as "input" that
// opens every event node is only the last resort: its members can read
// every keyboard.
#if !defined(__linux__)
#error "controller_access.cc belongs to the Linux build only"
#endif

#include "controller_access.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "../../program_say.h"

namespace {

bool reported = false;

}  // namespace

void report_denied_controller(const char* path, const InputNode& node, int error) {
  if (reported) return;
  reported = true;
  struct stat info;
  const group* owner = stat(path, &info) == 0 ? getgrgid(info.st_gid) : nullptr;
  say_as(program_invocation_short_name,
         "cannot read the controller \"%s\" (%s): %s.\n"
         "Controllers are given to the user logged in at the seat: log in at the\n"
         "machine itself (not over ssh), or give this controller to that user\n"
         "with a udev rule:\n"
         "  echo 'SUBSYSTEM==\"input\", ATTRS{id/vendor}==\"%04x\", "
         "ATTRS{id/product}==\"%04x\", ENV{ID_INPUT_JOYSTICK}=\"1\", TAG+=\"uaccess\"' | "
         "sudo tee /etc/udev/rules.d/61-keyconv-controller.rules\n"
         "  sudo udevadm control --reload && sudo udevadm trigger --subsystem-match=input\n"
         "Only if neither can be done: members of the group '%s' may read it, but\n"
         "they may read every keyboard too.",
         node.identity.name, path, std::strerror(error), node.identity.vendor,
         node.identity.product, owner != nullptr && owner->gr_gid != 0 ? owner->gr_name : "input");
}

void forget_denied_report() { reported = false; }
