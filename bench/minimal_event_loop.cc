// The floor of any event-driven converter, for the latency figures: blocks
// in poll() on a controller's node and, at every event of its X axis,
// writes a key event (Left Shift, pressed and let go in turn) to a uinput
// keyboard at once. It runs until a signal ends it.
//   minimal_event_loop /dev/input/eventN
#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <poll.h>
#include <unistd.h>

int main(int argc, char* argv[]) {
  if (argc != 2) return 2;
  const int node = open(argv[1], O_RDONLY | O_CLOEXEC);
  libevdev* keys = libevdev_new();
  // The name the measurements look the keyboard up by.
  libevdev_set_name(keys, "keyconv virtual keyboard");
  libevdev_enable_event_code(keys, EV_KEY, KEY_LEFTSHIFT, nullptr);
  libevdev_uinput* keyboard = nullptr;
  if (node < 0 ||
      libevdev_uinput_create_from_device(keys, LIBEVDEV_UINPUT_OPEN_MANAGED, &keyboard) != 0) {
    return 1;
  }
  int value = 0;
  pollfd ready = {node, POLLIN, 0};
  while (poll(&ready, 1, -1) > 0) {
    input_event events[64];
    const ssize_t got = read(node, events, sizeof events);
    if (got <= 0) return 1;
    for (ssize_t i = 0; i < got / static_cast<ssize_t>(sizeof events[0]); ++i) {
      if (events[i].type != EV_ABS || events[i].code != ABS_X) continue;
      value = 1 - value;
      const input_event key[2] = {{{}, EV_KEY, KEY_LEFTSHIFT, value}, {{}, EV_SYN, SYN_REPORT, 0}};
      if (write(libevdev_uinput_get_fd(keyboard), key, sizeof key) != sizeof key) return 1;
    }
  }
  return 1;
}
