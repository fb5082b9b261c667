#include "device_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <linux/uinput.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <thread>

#include "expected_text.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// A case that hangs would hold up the whole VM run until its time limit. The
// watchdog, a thread of its own, ends the run after a minute instead, naming
// the case and showing where in the kernel the test waits.
class Watchdog : public ::testing::EmptyTestEventListener {
 public:
  void OnTestStart(const ::testing::TestInfo& info) override {
    std::lock_guard<std::mutex> lock(mutex_);
    watched_ = std::string(info.test_suite_name()) + "." + info.name();
    deadline_ = Clock::now() + std::chrono::seconds(60);
    if (!thread_.joinable()) {
      tid_ = static_cast<pid_t>(syscall(SYS_gettid));
      thread_ = std::thread([this] { watch(); });
    }
    woken_.notify_one();
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    std::lock_guard<std::mutex> lock(mutex_);
    watched_.clear();
  }
  void OnTestProgramEnd(const ::testing::UnitTest&) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ending_ = true;
    }
    woken_.notify_one();
    if (thread_.joinable()) thread_.join();
  }

 private:
  void watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!ending_) {
      woken_.wait_until(lock, watched_.empty() ? Clock::now() + std::chrono::hours(1) : deadline_);
      if (ending_ || watched_.empty() || Clock::now() < deadline_) continue;
      std::printf("\nwatchdog: %s hung; where the test waits in the kernel:\n", watched_.c_str());
      std::ifstream stack("/proc/self/task/" + std::to_string(tid_) + "/stack");
      std::printf("%s", std::string(std::istreambuf_iterator<char>(stack), {}).c_str());
      std::fflush(stdout);
      _exit(3);
    }
  }
  std::mutex mutex_;
  std::condition_variable woken_;
  std::thread thread_;
  bool ending_ = false;
  std::string watched_;
  Clock::time_point deadline_;
  pid_t tid_ = 0;
};

const bool watchdog_installed = [] {
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
  created = Clock::now();
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

std::string VirtualDevice::node() const {
  const char* path = uinput != nullptr ? libevdev_uinput_get_devnode(uinput) : nullptr;
  return path != nullptr ? path : "";
}

void VirtualDevice::emit(unsigned int type, unsigned int code, int value) {
  libevdev_uinput_write_event(uinput, type, code, value);
  libevdev_uinput_write_event(uinput, EV_SYN, SYN_REPORT, 0);
}

bool make_controller(VirtualDevice& device, AxisRange x, const char* phys) {
  return device.make(real_devices::turntable(), x, phys);
}

ProgramRun::~ProgramRun() {
  if (job != nullptr) {
    if (pid > 0) kill(pid, SIGKILL);
    job.reset();  // closes the terminal's descriptors and ends its shell
  } else {
    if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    for (int fd : {master, slave}) {
      if (fd >= 0) close(fd);
    }
  }
  if (stdout_pipe >= 0) close(stdout_pipe);
}

namespace {

// In the program's process: its user, its standard output, then the program.
[[noreturn]] void exec_program(const std::string& program, const RunOptions& options,
                               int output_pipe) {
  if (output_pipe >= 0) dup2(output_pipe, STDOUT_FILENO);
  if (options.uid != 0 && (setgid(options.uid) != 0 || setuid(options.uid) != 0)) _exit(126);
  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const std::string& arg : options.args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  _exit(127);
}

}  // namespace

bool ProgramRun::start(const RunOptions& options) {
  const std::string program = options.program.empty() ? KEYCONV_PROGRAM : options.program;
  int pipe_fds[2] = {-1, -1};
  const bool to_pipe = options.stdout_to_pipe || options.terminal == Terminal::none;
  if (to_pipe && pipe2(pipe_fds, O_CLOEXEC) != 0) return false;
  const int write_end = pipe_fds[1];
  if (options.terminal == Terminal::foreground_job ||
      options.terminal == Terminal::background_job) {
    job = std::make_unique<Job>();
    if (!job->start([&]() -> int { exec_program(program, options, write_end); },
                    options.terminal == Terminal::foreground_job)) {
      return false;
    }
    pid = job->pid;
    master = job->master;
    slave = job->slave;
  } else if (options.terminal == Terminal::none) {
    pid = fork();
    if (pid == 0) {
      setsid();  // a session without a terminal
      dup2(write_end, STDERR_FILENO);
      const int nothing = open("/dev/null", O_RDONLY);
      dup2(nothing, STDIN_FILENO);
      exec_program(program, options, write_end);
    }
  } else {
    pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) exec_program(program, options, write_end);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  }
  if (to_pipe) {
    close(write_end);
    stdout_pipe = pipe_fds[0];
  }
  return pid > 0 && (options.terminal == Terminal::none || slave >= 0);
}

void ProgramRun::read_output() {
  for (int fd : {master, stdout_pipe}) {
    if (fd < 0) continue;
    pollfd ready = {fd, POLLIN, 0};
    while (poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN) != 0) {
      char buffer[4096];
      const ssize_t got = read(fd, buffer, sizeof buffer);
      if (got <= 0) break;
      output.append(buffer, static_cast<std::size_t>(got));
    }
  }
}

bool ProgramRun::wait_for(const std::string& text, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    read_output();
    if (output.find(text) != std::string::npos) return true;
    if (Clock::now() > deadline) return false;
    pollfd ready[2] = {{master, POLLIN, 0}, {stdout_pipe, POLLIN, 0}};
    poll(ready, 2, 10);
  }
}

void ProgramRun::type(const std::string& keys) {
  if (write(master, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) {
    ADD_FAILURE() << "could not type on the terminal";
  }
}

int ProgramRun::wait_exit(std::chrono::milliseconds timeout) {
  if (job != nullptr) {
    const JobStatus status = job->wait(timeout);
    read_output();
    if (status.kind == JobStatus::exited) return status.code << 8;
    if (status.kind == JobStatus::signaled) return status.code;
    return -1;
  }
  const auto deadline = Clock::now() + timeout;
  int status = 0;
  for (;;) {
    read_output();
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      read_output();
      pid = -1;
      return status;
    }
    if (Clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      pid = -1;
      return -1;
    }
    std::this_thread::sleep_for(2ms);
  }
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

bool ProgramRun::terminal_restored() const {
  termios mode;
  return tcgetattr(slave, &mode) == 0 && (mode.c_lflag & ICANON) != 0 && (mode.c_lflag & ECHO) != 0;
}

::testing::AssertionResult assign_players(ProgramRun& run, VirtualDevice& pad_1p,
                                          VirtualDevice* pad_2p) {
  const std::string prompt_1p = on_terminal(expected::SETUP_1P);
  if (!run.wait_for(prompt_1p))
    return ::testing::AssertionFailure() << "no 1P prompt:\n" << run.output;
  pad_1p.press(BTN_TRIGGER);
  if (!run.wait_for("CntrID="))
    return ::testing::AssertionFailure() << "1P not taken:\n" << run.output;
  pad_1p.release(BTN_TRIGGER);
  if (!run.wait_for(on_terminal(expected::SETUP_2P))) {
    return ::testing::AssertionFailure() << "no 2P prompt:\n" << run.output;
  }
  VirtualDevice& pad = pad_2p != nullptr ? *pad_2p : pad_1p;
  pad.press(BTN_TRIGGER);
  if (!run.wait_for(on_terminal(expected::START))) {
    return ::testing::AssertionFailure() << "conversion did not start:\n" << run.output;
  }
  pad.release(BTN_TRIGGER);
  // The loop's first pass takes the starting positions: a move before it
  // would be no move.
  std::this_thread::sleep_for(100ms);
  return ::testing::AssertionSuccess();
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

::testing::AssertionResult start_converting(ProgramRun& run, ProgramKeyboard& keyboard,
                                            VirtualDevice& pad_1p, VirtualDevice* pad_2p,
                                            const RunOptions& options) {
  if (!run.start(options)) return ::testing::AssertionFailure() << "the program did not start";
  if (!keyboard.open_when_there()) {
    run.read_output();
    return ::testing::AssertionFailure() << "its keyboard did not appear:\n" << run.output;
  }
  return assign_players(run, pad_1p, pad_2p);
}

::testing::AssertionResult OnePlayer::start(const RunOptions& options, AxisRange x) {
  if (!make_controller(pad, x)) return ::testing::AssertionFailure() << "no controller";
  return start_converting(run, keyboard, pad, nullptr, options);
}

std::vector<KeyEvent> end_with_a_keystroke(ProgramRun& run, ProgramKeyboard& keyboard) {
  run.type("q");
  std::vector<KeyEvent> events = keyboard.until_gone();
  EXPECT_EQ(run.wait_exit(), 0) << run.output;
  return events;
}

::testing::AssertionResult make_two_controllers(VirtualDevice& pad_1p, VirtualDevice& pad_2p) {
  if (make_controller(pad_1p, {0, 65535, 0, 1000}, "usb-keyconv-test/input1") &&
      make_controller(pad_2p, {0, 65535, 0, 1000}, "usb-keyconv-test/input2")) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "no controllers";
}

std::string describe(const std::vector<KeyEvent>& events) {
  std::string text;
  for (const KeyEvent& event : events) {
    text += std::string(libevdev_event_code_get_name(EV_KEY, event.code) != nullptr
                            ? libevdev_event_code_get_name(EV_KEY, event.code)
                            : "KEY_?") +
            (event.value != 0 ? " down" : " up") + "\n";
  }
  return text.empty() ? "(none)\n" : text;
}

void PrintTo(const KeyEvent& event, std::ostream* out) { *out << describe({event}); }

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
  while (Clock::now() < deadline) {
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
    if (got < 0 && errno == ENODEV) break;
    pollfd ready = {fd, POLLIN, 0};
    poll(&ready, 1, 5);
  }
  return {0, 0, 0};
}

std::vector<KeyEvent> ProgramKeyboard::until_gone(std::chrono::milliseconds timeout) {
  std::vector<KeyEvent> events;
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    input_event event;
    const ssize_t got = read(fd, &event, sizeof event);
    if (got < 0 && errno == ENODEV) return events;
    if (got == static_cast<ssize_t>(sizeof event)) {
      if (event.type == EV_KEY) events.push_back({event.code, event.value, 0});
      continue;
    }
    pollfd ready = {fd, POLLIN, 0};
    poll(&ready, 1, 5);
  }
  ADD_FAILURE() << "the program's keyboard did not go away";
  return events;
}

std::vector<KeyEvent> ProgramKeyboard::until_quiet(std::chrono::milliseconds quiet) {
  std::vector<KeyEvent> events;
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
  if (!write_tracing("tracing_on", "0") || !write_tracing("trace", "")) return false;
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

long passes_between_key_events(const std::vector<SyscallTrace::Call>& calls) {
  long key_writes = 0;
  long polls = 0;
  for (const SyscallTrace::Call& call : calls) {
    if (call.poll && key_writes > 0) ++polls;
    // One write per key event: the key and its SYN_REPORT.
    if (!call.poll && call.count == static_cast<long>(2 * sizeof(input_event)) &&
        ++key_writes == 2) {
      return polls;
    }
  }
  return -1;
}
