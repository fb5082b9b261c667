#include "job_shell.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Reply {
  int kind;
  int code;
};

bool send_all(int fd, const void* data, std::size_t size) {
  return write(fd, data, size) == static_cast<ssize_t>(size);
}

bool receive_all(int fd, void* data, std::size_t size) {
  return read(fd, data, size) == static_cast<ssize_t>(size);
}

// The job's process: a group of its own, the terminal as standard streams.
[[noreturn]] void become_job(int slave, bool foreground, const std::function<int()>& body) {
  setpgid(0, 0);
  if (foreground) tcsetpgrp(slave, getpid());  // SIGTTOU is held back, as in the shell
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) dup2(slave, fd);
  _exit(body());
}

// The shell: runs the job and then does what the test asks, one byte each.
[[noreturn]] void run_shell(int slave, int control, bool foreground,
                            const std::function<int()>& body) {
  setsid();
  ioctl(slave, TIOCSCTTY, 0);
  sigset_t held;
  sigemptyset(&held);
  for (int signal_number : {SIGTTOU, SIGTTIN, SIGTSTP}) sigaddset(&held, signal_number);
  sigprocmask(SIG_BLOCK, &held, nullptr);
  const pid_t job = fork();
  if (job == 0) {
    close(control);
    become_job(slave, foreground, body);
  }
  setpgid(job, job);
  if (foreground) tcsetpgrp(slave, job);
  send_all(control, &job, sizeof job);
  char command;
  while (receive_all(control, &command, 1)) {
    Reply reply = {JobStatus::running, 0};
    if (command == 'f') {
      tcsetpgrp(slave, job);
      kill(-job, SIGCONT);
    } else if (command == 'b') {
      kill(-job, SIGCONT);
    } else if (command == 'w') {
      int timeout_ms = 0;
      receive_all(control, &timeout_ms, sizeof timeout_ms);
      const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
      int status = 0;
      pid_t done = 0;
      while ((done = waitpid(job, &status, WUNTRACED | WNOHANG)) == 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (done == job && WIFSTOPPED(status)) {
        tcsetpgrp(slave, getpgrp());  // the shell has the terminal again
        reply = {JobStatus::stopped, WSTOPSIG(status)};
      } else if (done == job && WIFEXITED(status)) {
        reply = {JobStatus::exited, WEXITSTATUS(status)};
      } else if (done == job && WIFSIGNALED(status)) {
        reply = {JobStatus::signaled, WTERMSIG(status)};
      }
    }
    send_all(control, &reply, sizeof reply);
  }
  kill(-job, SIGKILL);
  kill(-job, SIGCONT);
  waitpid(job, nullptr, 0);
  _exit(0);
}

}  // namespace

std::string describe(const JobStatus& status) {
  switch (status.kind) {
    case JobStatus::running:
      return "still running";
    case JobStatus::stopped:
      return "stopped by signal " + std::to_string(status.code);
    case JobStatus::exited:
      return "exited with " + std::to_string(status.code);
    case JobStatus::signaled:
      return "ended by signal " + std::to_string(status.code) + " (" + strsignal(status.code) + ")";
    case JobStatus::lost:
      return "lost its shell";
  }
  return "?";
}

Job::~Job() {
  for (int fd : {control, master, slave}) {
    if (fd >= 0) close(fd);
  }
  if (shell > 0) waitpid(shell, nullptr, 0);
}

bool Job::start(const std::function<int()>& body, bool foreground) {
  char path[128] = {};
  int sockets[2];
  if (openpty(&master, &slave, path, nullptr, nullptr) != 0 ||
      socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
    return false;
  }
  name = path;
  fcntl(master, F_SETFD, FD_CLOEXEC);
  shell = fork();
  if (shell < 0) return false;
  if (shell == 0) {
    close(sockets[0]);
    close(master);
    run_shell(slave, sockets[1], foreground, body);
  }
  close(sockets[1]);
  control = sockets[0];
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  return receive_all(control, &pid, sizeof pid);
}

bool Job::start_program(const std::string& program, bool foreground) {
  return start(
      [program] {
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        return 127;
      },
      foreground);
}

void Job::fg() {
  Reply reply;
  send_all(control, "f", 1);
  receive_all(control, &reply, sizeof reply);
}

void Job::bg() {
  Reply reply;
  send_all(control, "b", 1);
  receive_all(control, &reply, sizeof reply);
}

JobStatus Job::wait(std::chrono::milliseconds timeout) {
  const int timeout_ms = static_cast<int>(timeout.count());
  Reply reply;
  if (!send_all(control, "w", 1) || !send_all(control, &timeout_ms, sizeof timeout_ms) ||
      !receive_all(control, &reply, sizeof reply)) {
    return {};
  }
  return {static_cast<JobStatus::Kind>(reply.kind), reply.code};
}

void Job::type(const std::string& keys) {
  if (write(master, keys.data(), keys.size()) < 0) return;
}

std::string Job::read_output() {
  std::string output;
  pollfd ready = {master, POLLIN, 0};
  while (poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN) != 0) {
    char buffer[4096];
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got <= 0) break;
    output.append(buffer, static_cast<std::size_t>(got));
  }
  return output;
}

unsigned int Job::lflag() const {
  termios mode;
  return tcgetattr(slave, &mode) == 0 ? mode.c_lflag : 0;
}
