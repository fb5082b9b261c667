#include "shell_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

bool send_all(int fd, const void* data, std::size_t size) {
  return write(fd, data, size) == static_cast<ssize_t>(size);
}

bool receive_all(int fd, void* data, std::size_t size) {
  return read(fd, data, size) == static_cast<ssize_t>(size);
}

bool process_stopped(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto state = line.rfind(") ");
  return state != std::string::npos && line.size() > state + 2 && line[state + 2] == 'T';
}

namespace {

using Clock = std::chrono::steady_clock;

bool shell_job(Terminal terminal) {
  return terminal == Terminal::foreground_job || terminal == Terminal::background_job;
}

// The job's process: its group or session, its standard streams, its body.
[[noreturn]] void become_job(int slave, Terminal terminal, int pipe_end,
                             const std::function<int()>& body) {
  if (shell_job(terminal)) {
    setpgid(0, 0);
    // SIGTTOU is held back, as in the shell.
    if (terminal == Terminal::foreground_job) tcsetpgrp(slave, getpid());
  } else {
    setsid();
    if (terminal == Terminal::own) ioctl(slave, TIOCSCTTY, 0);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (terminal == Terminal::none) {
    const int nothing = open("/dev/null", O_RDONLY);
    dup2(nothing, STDIN_FILENO);
    dup2(pipe_end, STDERR_FILENO);
  } else {
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) dup2(slave, fd);
  }
  if (pipe_end >= 0) dup2(pipe_end, STDOUT_FILENO);
  _exit(body());
}

}  // namespace

[[noreturn]] void run_shell(int slave, int control, Terminal terminal, int pipe_end,
                            const std::function<int()>& body) {
  setsid();
  if (shell_job(terminal)) ioctl(slave, TIOCSCTTY, 0);
  sigset_t held;
  sigemptyset(&held);
  for (int signal_number : {SIGTTOU, SIGTTIN, SIGTSTP}) sigaddset(&held, signal_number);
  sigprocmask(SIG_BLOCK, &held, nullptr);
  const pid_t job = fork();
  if (job == 0) {
    close(control);
    become_job(slave, terminal, pipe_end, body);
  }
  if (pipe_end >= 0) close(pipe_end);
  if (shell_job(terminal)) setpgid(job, job);
  if (terminal == Terminal::foreground_job) tcsetpgrp(slave, job);
  send_all(control, &job, sizeof job);
  char command;
  int timeout_ms = 0;
  while (receive_all(control, &command, 1) &&
         receive_all(control, &timeout_ms, sizeof timeout_ms)) {
    ShellReply reply = {JobStatus::running, 0};
    if (command == 'f' || command == 'b') {
      if (command == 'f') tcsetpgrp(slave, job);
      // bash continues only a stopped job: fg hands a running one the
      // terminal and nothing else.
      if (process_stopped(job)) kill(-job, SIGCONT);
    } else if (command == 'w') {
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
