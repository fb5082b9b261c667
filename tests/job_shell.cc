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

#include "shell_process.h"

namespace {

using Clock = std::chrono::steady_clock;

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
  for (int fd : {control, master, slave, stdout_pipe}) {
    if (fd >= 0) close(fd);
  }
  if (shell > 0) waitpid(shell, nullptr, 0);
}

bool Job::start(const std::function<int()>& body, Terminal terminal, bool stdout_to_pipe) {
  int sockets[2];
  int pipe_ends[2] = {-1, -1};
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0 ||
      socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0 ||
      ((stdout_to_pipe || terminal == Terminal::none) && pipe2(pipe_ends, O_CLOEXEC) != 0)) {
    return false;
  }
  fcntl(master, F_SETFD, FD_CLOEXEC);
  shell = fork();
  if (shell < 0) return false;
  if (shell == 0) {
    // Only the job keeps an end of the pipe: a test that closes its end
    // must see the job's writes fail.
    for (int fd : {sockets[0], master, pipe_ends[0]}) {
      if (fd >= 0) close(fd);
    }
    run_shell(slave, sockets[1], terminal, pipe_ends[1], body);
  }
  close(sockets[1]);
  control = sockets[0];
  stdout_pipe = pipe_ends[0];
  if (pipe_ends[1] >= 0) close(pipe_ends[1]);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  return receive_all(control, &pid, sizeof pid);
}

JobStatus Job::ask(char command, int timeout_ms) {
  ShellReply reply;
  if (!send_all(control, &command, 1) || !send_all(control, &timeout_ms, sizeof timeout_ms) ||
      !receive_all(control, &reply, sizeof reply)) {
    return {};
  }
  return {static_cast<JobStatus::Kind>(reply.kind), reply.code};
}

void Job::fg() { ask('f', 0); }

void Job::bg() { ask('b', 0); }

JobStatus Job::wait(std::chrono::milliseconds timeout) {
  const JobStatus status = ask('w', static_cast<int>(timeout.count()));
  read_output();
  return status;
}

void Job::type(const std::string& keys) {
  if (write(master, keys.data(), keys.size()) < 0) return;
}

void Job::send(int signal_number) {
  const char* key = signal_number == SIGINT    ? "\x03"
                    : signal_number == SIGQUIT ? "\x1c"
                    : signal_number == SIGTSTP ? "\x1a"
                                               : nullptr;
  if (key != nullptr) return type(key);
  kill(pid, signal_number);
}

void Job::hang_up() {
  read_output();
  close(master);
  master = -1;
}

std::string Job::read_output() {
  std::string taken;
  for (int fd : {master, stdout_pipe}) {
    pollfd ready = {fd, POLLIN, 0};
    while (fd >= 0 && poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN) != 0) {
      char buffer[4096];
      const ssize_t got = read(fd, buffer, sizeof buffer);
      if (got <= 0) break;
      taken.append(buffer, static_cast<std::size_t>(got));
    }
  }
  output += taken;
  return taken;
}

bool Job::wait_for(const std::string& text, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    read_output();
    if (output.find(text) != std::string::npos) return true;
    if (Clock::now() > deadline) return false;
    pollfd ready[2] = {{master, POLLIN, 0}, {stdout_pipe, POLLIN, 0}};
    poll(ready, 2, 10);
  }
}

bool Job::terminal_restored() const {
  termios mode;
  return tcgetattr(slave, &mode) == 0 && (mode.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO);
}

bool Job::wait_for_mode(bool taken, std::chrono::milliseconds timeout) {
  for (const auto deadline = Clock::now() + timeout; Clock::now() < deadline;) {
    if (terminal_restored() != taken) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return terminal_restored() != taken;
}
