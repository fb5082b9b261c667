// A job on a pseudo-terminal under a minimal shell, for tests of job
// control: the shell leads a session whose controlling terminal is the
// pseudo-terminal, and the job runs in a process group of its own, in the
// foreground or in the background, as an interactive shell runs it. Ctrl+Z
// typed on the terminal stops the job for real, and fg and bg do what a
// shell does.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>

struct JobStatus {
  enum Kind { running, stopped, exited, signaled, lost } kind = lost;
  int code = 0;  // exit code or signal
};

std::string describe(const JobStatus& status);

struct Job {
  pid_t pid = -1;    // the job's process
  int master = -1;   // the terminal's other side: what is typed, what is shown
  int slave = -1;    // kept open, to read the terminal's mode at any time
  int control = -1;  // to the shell
  pid_t shell = -1;
  std::string name;  // the terminal's path

  Job() = default;
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;
  ~Job();

  // Runs body (its return value is the exit code) in the job's process.
  bool start(const std::function<int()>& body, bool foreground = true);
  // Runs a program in the job's process.
  bool start_program(const std::string& program, bool foreground = true);

  // As the shell's fg: the terminal goes to the job, which continues.
  void fg();
  // As the shell's bg: the job continues, the terminal stays with the shell.
  void bg();
  // Waits until the job stops or ends; the shell then takes the terminal
  // back, as a shell does. running after timeout.
  JobStatus wait(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
  void type(const std::string& keys);
  // What the job wrote to the terminal so far.
  std::string read_output();

  // The terminal's local mode flags now.
  unsigned int lflag() const;
};
