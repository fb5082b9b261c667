#include "device_support.h"

#include <dirent.h>
#include <execinfo.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <linux/uinput.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "expected_text.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// A case that hangs would hold up the whole VM run until its time limit. An
// alarm ends the run after a minute instead, naming the case and showing
// where the test waits.
char watched_case[256];

void on_hung_case(int) {
  char said[400];
  const int length = std::snprintf(said, sizeof said,
                                   "\nwatchdog: %s hung; where the test waits:\n", watched_case);
  if (write(STDOUT_FILENO, said, static_cast<std::size_t>(length)) < 0) _exit(3);
  void* frames[64];
  backtrace_symbols_fd(frames, backtrace(frames, 64), STDOUT_FILENO);
  _exit(3);
}

struct Watchdog : ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo& info) override {
    std::snprintf(watched_case, sizeof watched_case, "%s.%s", info.test_suite_name(), info.name());
    alarm(60);
  }
  void OnTestEnd(const ::testing::TestInfo&) override { alarm(0); }
};

const bool watchdog_installed = [] {
  void* frame;
  backtrace(&frame, 1);  // loads what backtrace needs now, not in the handler
  signal(SIGALRM, on_hung_case);
  ::testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
  return true;
}();

}  // namespace

std::string device_tests_unavailable() {
  const char* wanted = std::getenv("KEYCONV_DEVICE_TESTS");
  if (wanted == nullptr || *wanted == '\0') {
    return "device tests make virtual input devices, which would type into this machine's "
           "desktop: they run in the test VM (ctest -L vm), or here with KEYCONV_DEVICE_TESTS=1";
  }
  const int probe = open("/dev/uinput", O_RDWR | O_CLOEXEC);
  if (probe < 0) return std::string("/dev/uinput cannot be opened: ") + std::strerror(errno);
  close(probe);
  return "";
}

std::string udev_tests_unavailable() {
  std::string missing = device_tests_unavailable();
  if (missing.empty() && access("/run/udev/control", F_OK) != 0) {
    missing = "no udev daemon runs here: the VM starts one for these";
  }
  return missing;
}

bool device_tests_required() {
  const char* wanted = std::getenv("KEYCONV_DEVICE_TESTS");
  return wanted != nullptr && std::strcmp(wanted, "required") == 0;
}

double monotonic_ms() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

std::string on_terminal(const std::string& text) {
  std::string sent;
  for (char c : text) {
    if (c == '\n') sent += '\r';
    sent += c;
  }
  return sent;
}

bool VirtualDevice::make(const DeviceShape& shape, AxisRange x, const char* phys) {
  destroy();
  dev = libevdev_new();
  libevdev_set_name(dev, shape.name);
  libevdev_set_phys(dev, phys);
  libevdev_set_id_bustype(dev, BUS_USB);
  libevdev_set_id_vendor(dev, 0x1ccf);
  libevdev_set_id_product(dev, 0x8048);
  for (unsigned int key : shape.keys) libevdev_enable_event_code(dev, EV_KEY, key, nullptr);
  for (unsigned int axis : shape.axes) {
    input_absinfo info = {};
    info.minimum = x.minimum;
    info.maximum = x.maximum;
    info.fuzz = x.fuzz;
    info.value = x.value;
    if (axis == ABS_MT_SLOT) info = {0, 0, 9, 0, 0, 0};
    if (axis == ABS_MT_TRACKING_ID) info = {-1, -1, 65535, 0, 0, 0};
    libevdev_enable_event_code(dev, EV_ABS, axis, &info);
  }
  for (unsigned int rel : shape.rel) libevdev_enable_event_code(dev, EV_REL, rel, nullptr);
  for (unsigned int prop : shape.props) libevdev_enable_property(dev, prop);
  // libevdev leaves phys unset: two controllers of one model would then be
  // the same device to the program.
  uinput_fd = open("/dev/uinput", O_RDWR | O_CLOEXEC);
  if (uinput_fd < 0 || ioctl(uinput_fd, UI_SET_PHYS, phys) != 0 ||
      libevdev_uinput_create_from_device(dev, uinput_fd, &uinput) != 0) {
    uinput = nullptr;
    return false;
  }
  return true;
}

void VirtualDevice::destroy() {
  if (uinput != nullptr) libevdev_uinput_destroy(uinput);
  if (uinput_fd >= 0) close(uinput_fd);
  if (dev != nullptr) libevdev_free(dev);
  uinput = nullptr;
  uinput_fd = -1;
  dev = nullptr;
}

int VirtualDevice::x_fuzz() const {
  const int fd = open(node().c_str(), O_RDONLY | O_CLOEXEC);
  input_absinfo x_axis = {};
  const bool read = fd >= 0 && ioctl(fd, EVIOCGABS(ABS_X), &x_axis) == 0;
  if (fd >= 0) close(fd);
  return read ? x_axis.fuzz : -1;
}

std::string VirtualDevice::node() const {
  const char* path = uinput != nullptr ? libevdev_uinput_get_devnode(uinput) : nullptr;
  return path != nullptr ? path : "";
}

void VirtualDevice::emit(unsigned int type, unsigned int code, int value) {
  libevdev_uinput_write_event(uinput, type, code, value);
  libevdev_uinput_write_event(uinput, EV_SYN, SYN_REPORT, 0);
}

bool make_controller(VirtualDevice& device, AxisRange x, const char* phys) {
  return device.make(real_devices::TURNTABLE, x, phys);
}

ProgramRun::~ProgramRun() {
  if (pid > 0) kill(pid, SIGKILL);
}

bool ProgramRun::start(const RunOptions& options) {
  const std::string program = options.program.empty() ? KEYCONV_PROGRAM : options.program;
  return Job::start(
      [&]() -> int {
        if (options.uid != 0 && (setgid(options.uid) != 0 || setuid(options.uid) != 0)) return 126;
        for (int signal_number : options.ignored) signal(signal_number, SIG_IGN);
        for (const std::string& setting : options.env) putenv(const_cast<char*>(setting.c_str()));
        std::vector<char*> argv = {const_cast<char*>(program.c_str())};
        for (const std::string& arg : options.args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        return 127;
      },
      options.terminal, options.stdout_to_pipe);
}

::testing::AssertionResult ProgramRun::start_at_1p_prompt(const RunOptions& options) {
  if (!start(options)) return ::testing::AssertionFailure() << "the program did not start";
  if (wait_for(on_terminal(expected::SETUP_1P))) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "no 1P prompt:\n" << output;
}

JobStatus ProgramRun::wait_exit(std::chrono::milliseconds timeout) {
  const JobStatus status = wait(timeout);
  if (status.kind == JobStatus::running || status.kind == JobStatus::stopped) {
    kill(pid, SIGKILL);
    kill(pid, SIGCONT);
    wait();
  }
  pid = -1;
  return status;
}

void ProgramRun::stop_and_continue(const std::function<void()>& while_stopped) {
  kill(pid, SIGSTOP);
  for (int i = 0; i < 1000 && !stopped(); ++i) std::this_thread::sleep_for(1ms);
  while_stopped();
  kill(pid, SIGCONT);
}

bool ProgramRun::stopped() const {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto state = line.rfind(") ");
  return state != std::string::npos && line.size() > state + 2 && line[state + 2] == 'T';
}

::testing::AssertionResult assign_players(ProgramRun& run, VirtualDevice& pad_1p,
                                          VirtualDevice* pad_2p, bool prompts_seen) {
  VirtualDevice& pad = pad_2p != nullptr ? *pad_2p : pad_1p;
  if (!prompts_seen) {
    // Player 1 presses and lets go twice, with time for each step.
    for (VirtualDevice* pressed : {&pad_1p, &pad}) {
      std::this_thread::sleep_for(300ms);
      pressed->press(BTN_TRIGGER);
      std::this_thread::sleep_for(300ms);
      pressed->release(BTN_TRIGGER);
    }
    std::this_thread::sleep_for(300ms);
    return ::testing::AssertionSuccess();
  }
  if (!run.wait_for(on_terminal(expected::SETUP_1P)) ||
      !press_until(run, pad_1p, BTN_TRIGGER, "CntrID=") ||
      !run.wait_for(on_terminal(expected::SETUP_2P)) ||
      !press_until(run, pad, BTN_TRIGGER, on_terminal(expected::START))) {
    return ::testing::AssertionFailure() << "the assignment stopped here:\n" << run.output;
  }
  // The loop's first pass takes the starting positions: a move before it
  // would be no move.
  std::this_thread::sleep_for(100ms);
  return ::testing::AssertionSuccess();
}

bool press_until(ProgramRun& run, VirtualDevice& device, unsigned int button,
                 const std::string& text) {
  device.press(button);
  const bool seen = run.wait_for(text);
  device.release(button);
  return seen;
}

::testing::AssertionResult press_takes_no_player(ProgramRun& run, VirtualDevice& device,
                                                 unsigned int button) {
  device.press(button);
  std::this_thread::sleep_for(300ms);
  run.read_output();
  device.release(button);
  if (run.output.find("CntrID") == std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "a player was taken:\n" << run.output;
}

namespace {

// Starts the program, finds its keyboard and plays the assignment.
::testing::AssertionResult start_converting(ProgramRun& run, ProgramKeyboard& keyboard,
                                            VirtualDevice& pad_1p, VirtualDevice* pad_2p,
                                            const RunOptions& options = {}) {
  if (!run.start(options)) return ::testing::AssertionFailure() << "the program did not start";
  if (!keyboard.open_when_there()) {
    run.read_output();
    return ::testing::AssertionFailure() << "its keyboard did not appear:\n" << run.output;
  }
  return assign_players(run, pad_1p, pad_2p,
                        !options.stdout_to_pipe && options.terminal != Terminal::none);
}

}  // namespace

::testing::AssertionResult OnePlayer::start(const RunOptions& options, AxisRange x) {
  if (pad.dev == nullptr && !make_controller(pad, x)) {
    return ::testing::AssertionFailure() << "no controller";
  }
  return start_converting(run, keyboard, pad, nullptr, options);
}

::testing::AssertionResult OnePlayer::turn_up() {
  pad.move_x(2000);
  const KeyEvent pressed = keyboard.next();
  if (pressed == down(KEY_LEFTSHIFT)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "no Left Shift: " << ::testing::PrintToString(pressed);
}

void OnePlayer::turn_up_and_end() {
  EXPECT_TRUE(turn_up());
  end_with_a_keystroke(run, keyboard);
}

void expect_a_refused_controller_taken_once_permitted(
    const std::function<void(const VirtualDevice&)>& settled) {
  VirtualDevice pad;
  ASSERT_TRUE(make_controller(pad));
  settled(pad);
  ASSERT_EQ(chmod(pad.node().c_str(), 0600), 0);
  const UinputLent lent;
  ProgramRun run;
  ASSERT_TRUE(run.start_at_1p_prompt({.uid = PLAYER_UID}));
  ASSERT_TRUE(run.wait_for("cannot read the controller")) << run.output;
  ASSERT_EQ(chown(pad.node().c_str(), PLAYER_UID, PLAYER_UID), 0);
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(press_until(run, pad, BTN_TRIGGER, "CntrID=0")) << run.output;
  EXPECT_EQ(run.output.find("cannot read"), run.output.rfind("cannot read")) << run.output;
  run.type("q");
}

KeyEvents end_with_a_keystroke(ProgramRun& run, ProgramKeyboard& keyboard) {
  run.type("q");
  KeyEvents events = keyboard.until_gone();
  EXPECT_EQ(run.wait_exit(), (JobStatus{JobStatus::exited, 0})) << run.output;
  return events;
}

::testing::AssertionResult TwoPlayers::start() {
  if (!make_controller(pad_1p, AT_REST, "usb-keyconv-test/input1") ||
      !make_controller(pad_2p, AT_REST, "usb-keyconv-test/input2")) {
    return ::testing::AssertionFailure() << "no controllers";
  }
  return start_converting(run, keyboard, pad_1p, &pad_2p);
}

void PrintTo(const KeyEvent& event, std::ostream* out) {
  const char* name = libevdev_event_code_get_name(EV_KEY, event.code);
  *out << (name != nullptr ? name : "KEY_?") << (event.value != 0 ? " down" : " up");
}

KeyEvents& operator+=(KeyEvents& events, const KeyEvents& more) {
  events.insert(events.end(), more.begin(), more.end());
  return events;
}

ProgramKeyboard::~ProgramKeyboard() {
  if (fd >= 0) close(fd);
}

bool ProgramKeyboard::open_when_there(std::chrono::milliseconds timeout) {
  // Found by its name in sysfs: the test opens no other node.
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    if (DIR* dir = opendir("/sys/class/input")) {
      while (const dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, "event", 5) != 0) continue;
        std::ifstream name_file(std::string("/sys/class/input/") + entry->d_name + "/device/name");
        std::string name;
        std::getline(name_file, name);
        if (name != "keyconv virtual keyboard") continue;
        const std::string path = std::string("/dev/input/") + entry->d_name;
        fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        closedir(dir);
        int clock = CLOCK_MONOTONIC;
        ioctl(fd, EVIOCSCLOCKID, &clock);
        return true;
      }
      closedir(dir);
    }
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

KeyEvent ProgramKeyboard::next(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  KeyEvent pending = {0, 0, 0};
  while (!gone_ && Clock::now() < deadline) {
    input_event event;
    const ssize_t got = read(fd, &event, sizeof event);
    if (got == static_cast<ssize_t>(sizeof event)) {
      if (event.type == EV_KEY) {
        if (pending.code != 0) ADD_FAILURE() << "a key event without SYN_REPORT";
        pending = {event.code, event.value,
                   static_cast<double>(event.input_event_sec) * 1e3 +
                       static_cast<double>(event.input_event_usec) / 1e3};
      } else if (event.type == EV_SYN && event.code == SYN_REPORT && pending.code != 0) {
        return pending;
      }
      continue;
    }
    gone_ = got < 0 && errno == ENODEV;
    pollfd ready = {fd, POLLIN, 0};
    if (!gone_) poll(&ready, 1, 5);
  }
  return {0, 0, 0};
}

KeyEvents ProgramKeyboard::until_gone(std::chrono::milliseconds timeout) {
  KeyEvents events;
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    const KeyEvent event =
        next(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
    if (gone_) return events;
    if (event.code != 0) events.push_back(event);
  }
  ADD_FAILURE() << "the program's keyboard did not go away";
  return events;
}

KeyEvents ProgramKeyboard::until_quiet(std::chrono::milliseconds quiet) {
  KeyEvents events;
  for (;;) {
    const KeyEvent event = next(quiet);
    if (event.code == 0) return events;
    events.push_back(event);
  }
}

std::vector<unsigned int> ProgramKeyboard::held() const {
  unsigned char keys[KEY_MAX / 8 + 1] = {};
  std::vector<unsigned int> down_now;
  if (ioctl(fd, EVIOCGKEY(sizeof keys), keys) < 0) return {0xFFFF};
  for (unsigned int code = 0; code <= KEY_MAX; ++code) {
    if ((keys[code / 8] >> (code % 8)) & 1) down_now.push_back(code);
  }
  return down_now;
}

namespace {

constexpr const char* TRACING = "/sys/kernel/tracing/";
constexpr const char* TRACED[] = {"events/syscalls/sys_enter_poll/",
                                  "events/syscalls/sys_enter_write/"};

bool write_tracing(const std::string& file, const std::string& text) {
  std::ofstream out(TRACING + file, std::ios::trunc);
  out << text;
  out.flush();
  return static_cast<bool>(out);
}

}  // namespace

// The events stay enabled from the first trace on: switching a tracepoint
// patches the kernel's code, and only the filter changes from run to run.
bool SyscallTrace::start(pid_t pid) {
  if (!write_tracing("tracing_on", "0") || !write_tracing("trace", "") ||
      !write_tracing("trace_clock", "mono")) {
    return false;
  }
  for (const char* event : TRACED) {
    if (!write_tracing(std::string(event) + "filter", "common_pid == " + std::to_string(pid)) ||
        !write_tracing(std::string(event) + "enable", "1")) {
      return false;
    }
  }
  running = write_tracing("tracing_on", "1");
  return running;
}

std::vector<SyscallTrace::Call> SyscallTrace::stop() {
  write_tracing("tracing_on", "0");
  running = false;
  std::vector<Call> calls;
  std::ifstream trace(std::string(TRACING) + "trace");
  std::string line;
  while (std::getline(trace, line)) {
    // "  keyconv-95  [001] .....  12.345678: sys_poll(ufds: ...)"
    const auto colon = line.find(": sys_");
    const auto stamp = line.rfind(' ', colon);
    if (colon == std::string::npos || stamp == std::string::npos) continue;
    const double ms = std::stod(line.substr(stamp + 1, colon - stamp - 1)) * 1e3;
    if (line.compare(colon + 2, 9, "sys_poll(") == 0) {
      calls.push_back({true, -1, 0, ms});
    } else if (const auto at = line.find("sys_write(fd: ", colon); at != std::string::npos) {
      const auto count = line.find("count: ", at);
      calls.push_back(
          {false, static_cast<int>(std::stol(line.substr(at + 14), nullptr, 16)),
           count == std::string::npos ? -1 : std::stol(line.substr(count + 7), nullptr, 16), ms});
    }
  }
  return calls;
}

SyscallTrace::~SyscallTrace() {
  if (running) stop();
}

long passes_between(const std::vector<SyscallTrace::Call>& calls, const KeyEvent& first,
                    const KeyEvent& then) {
  long polls = 0;
  for (const SyscallTrace::Call& call : calls) {
    if (call.poll && call.ms > first.ms && call.ms < then.ms) ++polls;
  }
  return first.code != 0 && then.code != 0 ? polls : -1;
}

double pass_began_ms(const std::vector<SyscallTrace::Call>& calls, const KeyEvent& event,
                     int back) {
  int found = -1;
  for (auto call = calls.rbegin(); call != calls.rend(); ++call) {
    if (call->poll && call->ms < event.ms && ++found == back) return call->ms;
  }
  return -1;
}

long wakeups(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  long switches = 0;
  for (std::string line; std::getline(status, line);) {
    if (line.find("ctxt_switches:") != std::string::npos) {
      switches += std::stol(line.substr(line.find(':') + 1));
    }
  }
  return switches;
}

long cpu_ticks(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::string field;
  long ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14 || i == 15) ticks += std::stol(field);  // utime, stime
  }
  return ticks;
}

::testing::AssertionResult does_not_spin(pid_t pid) {
  const long before = cpu_ticks(pid);
  std::this_thread::sleep_for(500ms);
  const double share = static_cast<double>(cpu_ticks(pid) - before) /
                       static_cast<double>(sysconf(_SC_CLK_TCK)) / 0.5;
  if (share < 0.5) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "it took " << 100 * share << " % of a processor";
}
