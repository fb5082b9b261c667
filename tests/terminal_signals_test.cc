// The terminal and the signals under job control: each case runs as a job
// of a minimal shell on a pseudo-terminal, so that Ctrl+Z stops it for real
// and fg and bg move the terminal as a shell does.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <thread>

#include "../src/core/linux/controllers/read/axis_fuzz.h"
#include "../src/core/linux/signals/abnormal_end.h"
#include "../src/core/linux/terminal/console_tty.h"
#include "../src/core/platform.h"
#include "job_shell.h"

namespace {

using namespace std::chrono_literals;

volatile sig_atomic_t sigcont_at_the_next_unmask = 0;

}  // namespace

// Every sigprocmask of this test binary, the backend's included, passes
// here; when armed, the first one that sets a whole mask raises SIGCONT
// right after it.
extern "C" int sigprocmask(int how, const sigset_t* set, sigset_t* old) {
  using Real = int (*)(int, const sigset_t*, sigset_t*);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "sigprocmask"));
  const int result = real(how, set, old);
  if (how == SIG_SETMASK && sigcont_at_the_next_unmask != 0) {
    sigcont_at_the_next_unmask = 0;
    raise(SIGCONT);
  }
  return result;
}

// A controller's X axis behind a made-up descriptor, in memory that the
// test shares with its job: every ioctl of this test binary passes here,
// and when armed, the call-th EVIOCGABS or EVIOCSABS of the axis raises
// SIGTERM right after it is done.
struct FakeAxis {
  int fd = -1;
  input_absinfo x = {};
  int calls = 0;
  int signal_after_call = 0;  // 0: none
};
FakeAxis* fake_axis = nullptr;

extern "C" int ioctl(int fd, unsigned long request, ...) {
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  if (fake_axis == nullptr || fd != fake_axis->fd) {
    using Real = int (*)(int, unsigned long, void*);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "ioctl"));
    return real(fd, request, argument);
  }
  if (request == EVIOCGABS(ABS_X)) {
    *static_cast<input_absinfo*>(argument) = fake_axis->x;
  } else if (request == EVIOCSABS(ABS_X)) {
    fake_axis->x = *static_cast<const input_absinfo*>(argument);
  } else {
    errno = EINVAL;
    return -1;
  }
  if (++fake_axis->calls == fake_axis->signal_after_call) raise(SIGTERM);
  return 0;
}

namespace {

// The job: takes the terminal as keyconv does, then waits up to ten seconds
// for a keystroke. Exit 0 when one came and is still waiting.
int wait_for_keystroke() {
  install_signal_handlers();
  if (!console_open("/dev/tty")) return 10;
  for (int i = 0; i < 10000 && !_kbhit(); ++i) usleep(1000);
  const int seen = _kbhit();
  console_close();
  return seen ? 0 : 11;
}

TEST(Terminal, TheForegroundJobTakesTheModeSeesAKeystrokeAndGivesItBack) {
  Job job;
  ASSERT_TRUE(job.start(wait_for_keystroke));
  ASSERT_TRUE(job.wait_for_mode(true)) << "canonical input and echo stay on";
  job.type("q");
  EXPECT_EQ(job.wait(), (JobStatus{JobStatus::exited, 0}));
  EXPECT_TRUE(job.terminal_restored());
  int pending = 0;
  ASSERT_EQ(ioctl(job.slave, FIONREAD, &pending), 0);
  EXPECT_EQ(pending, 1) << "the keystroke stays for the shell";
  EXPECT_EQ(job.read_output(), "") << "the keystroke was echoed";
}

TEST(Terminal, WithoutAControllingTerminalNoKeystrokeIsEverSeen) {
  Job job;
  ASSERT_TRUE(job.start([] { return console_open("/dev/tty") ? 1
                                    : _kbhit() == 0          ? 0
                                                             : 2; },
                        Terminal::none));
  EXPECT_EQ(job.wait(), (JobStatus{JobStatus::exited, 0}));
}

TEST(Signals, EverySignalThatEndsTheProcessGivesTheTerminalBackAndEndsByIt) {
  for (const int signal_number : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE, SIGUSR1, SIGALRM,
                                  SIGXCPU, SIGSEGV, SIGBUS, SIGFPE, SIGABRT, SIGRTMIN, SIGRTMAX}) {
    Job job;
    ASSERT_TRUE(job.start(wait_for_keystroke));
    ASSERT_TRUE(job.wait_for_mode(true));
    job.send(signal_number);
    EXPECT_EQ(job.wait(), (JobStatus{JobStatus::signaled, signal_number}));
    EXPECT_TRUE(job.terminal_restored()) << strsignal(signal_number);
  }
}

// nohup ignores SIGHUP; a shell without job control starts a background
// job with SIGINT and SIGQUIT ignored. They stay ignored.
TEST(Signals, ASignalIgnoredAtTheStartStaysIgnored) {
  for (int signal_number : {SIGHUP, SIGINT, SIGQUIT}) {
    Job job;
    ASSERT_TRUE(job.start([signal_number] {
      signal(signal_number, SIG_IGN);
      return wait_for_keystroke();
    }));
    ASSERT_TRUE(job.wait_for_mode(true));
    kill(job.pid, signal_number);
    EXPECT_EQ(job.wait(300ms), (JobStatus{JobStatus::running, 0})) << strsignal(signal_number);
    job.type("q");
    EXPECT_EQ(job.wait(), (JobStatus{JobStatus::exited, 0})) << strsignal(signal_number);
  }
}

TEST(Signals, ARealCrashGivesTheTerminalBack) {
  const struct {
    int signal_number;
    int (*crash)();
  } cases[] = {
      {SIGSEGV,
       [] {
         // A write to a read-only page: a fault the sanitizers leave to the kernel.
         void* page = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
         *static_cast<volatile int*>(page) = 1;
         return 0;
       }},
      {SIGABRT,
       [] {
         std::abort();
         return 0;
       }},
  };
  for (const auto& c : cases) {
    Job job;
    ASSERT_TRUE(job.start([&c] {
      install_signal_handlers();
      if (!console_open("/dev/tty")) return 10;
      return c.crash();
    }));
    EXPECT_EQ(job.wait(), (JobStatus{JobStatus::signaled, c.signal_number}));
    EXPECT_TRUE(job.terminal_restored()) << strsignal(c.signal_number);
  }
}

// A continue (fg) that comes while the terminal is being closed must not
// take its mode again. The test's sigprocmask raises SIGCONT as soon as the
// close gives back the first signal it held.
TEST(Terminal, AContinueWhileTheTerminalIsClosedLeavesItsModeAsItWas) {
  Job job;
  ASSERT_TRUE(job.start([] {
    install_signal_handlers();
    if (!console_open("/dev/tty")) return 10;
    sigcont_at_the_next_unmask = 1;
    console_close();
    return sigcont_at_the_next_unmask == 0 ? 0 : 11;
  }));
  EXPECT_EQ(job.wait(), (JobStatus{JobStatus::exited, 0}));
  EXPECT_TRUE(job.terminal_restored());
}

TEST(Signals, CtrlZGivesTheTerminalBackAndFgTakesItAgain) {
  Job job;
  ASSERT_TRUE(job.start(wait_for_keystroke));
  ASSERT_TRUE(job.wait_for_mode(true));
  job.send(SIGTSTP);
  ASSERT_EQ(job.wait(), (JobStatus{JobStatus::stopped, SIGTSTP}));
  EXPECT_TRUE(job.terminal_restored()) << "the shell gets its mode back while stopped";
  job.fg();
  EXPECT_TRUE(job.wait_for_mode(true)) << "the mode is taken again";
  job.type("q");
  EXPECT_EQ(job.wait(), (JobStatus{JobStatus::exited, 0})) << "the keystroke after fg ends it";
}

TEST(Signals, AfterCtrlZAndBgTheJobLeavesTheTerminalToTheShellUntilFg) {
  Job job;
  ASSERT_TRUE(job.start(wait_for_keystroke));
  ASSERT_TRUE(job.wait_for_mode(true));
  job.send(SIGTSTP);
  ASSERT_EQ(job.wait().kind, JobStatus::stopped);
  job.bg();
  EXPECT_EQ(job.wait(300ms), (JobStatus{JobStatus::running, 0}));
  EXPECT_TRUE(job.terminal_restored()) << "a background job took the mode";
  job.fg();
  EXPECT_TRUE(job.wait_for_mode(true));
  job.type("q");
  EXPECT_EQ(job.wait().kind, JobStatus::exited);
}

TEST(Terminal, StartedInTheBackgroundItNeverStopsAndTakesTheTerminalOnFg) {
  Job job;
  ASSERT_TRUE(job.start(wait_for_keystroke, Terminal::background_job));
  EXPECT_EQ(job.wait(500ms), (JobStatus{JobStatus::running, 0}));
  EXPECT_TRUE(job.terminal_restored()) << "a background job took the mode";
  job.fg();
  ASSERT_TRUE(job.wait_for_mode(true));
  job.type("q");
  EXPECT_EQ(job.wait(), (JobStatus{JobStatus::exited, 0}))
      << "a keystroke ends it once it is in the foreground";
}

// A SIGTERM after any step of the X filter's change (its read, its write)
// or of its undo leaves the axis with its own fuzz: the change is recorded
// before it is made and forgotten only after it is undone.
TEST(Signals, ASignalAtAnyStepOfTheXFiltersChangeAndUndoLeavesItsFuzz) {
  void* shared =
      mmap(nullptr, sizeof(FakeAxis), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(shared, MAP_FAILED);
  fake_axis = new (shared) FakeAxis;
  constexpr int STEPS = 4;  // the change's read and write, the undo's read and write
  for (int step = 1; step <= STEPS; ++step) {
    *fake_axis = {};
    fake_axis->fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    fake_axis->x = {
        .value = 300, .minimum = 0, .maximum = 1023, .fuzz = 4, .flat = 0, .resolution = 0};
    fake_axis->signal_after_call = step;
    Job job;
    ASSERT_TRUE(job.start([] {
      install_signal_handlers();
      axis_fuzz_off(0, fake_axis->fd);
      fake_axis->x.value = 310;  // the controller moves while the filter is off
      axis_fuzz_restore(0);
      return 0;
    }));
    EXPECT_EQ(job.wait(), (JobStatus{JobStatus::signaled, SIGTERM})) << "step " << step;
    EXPECT_EQ(fake_axis->x.fuzz, 4) << "a signal after step " << step;
    EXPECT_EQ(fake_axis->x.value, step <= 2 ? 300 : 310)
        << "the position, after step " << step << ", as the controller has it";
    close(fake_axis->fd);
  }
  munmap(shared, sizeof(FakeAxis));
  fake_axis = nullptr;
}

}  // namespace
