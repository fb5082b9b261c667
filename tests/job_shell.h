// A process on a pseudo-terminal under a minimal shell, for tests of whole
// programs and of job control. The shell leads a session of its own; the
// job runs in a process group of its own, in the foreground or in the
// background, as an interactive shell runs it, so that Ctrl+Z typed on the
// terminal stops it for real and fg and bg do what a shell does. A job may
// also lead a session of its own on the terminal, or one without any.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <ostream>
#include <string>

enum class Terminal {
  own,             // a session of its own, with the terminal as its controlling terminal
  foreground_job,  // a job of the shell, in the foreground
  background_job,  // a job of the shell, the terminal kept by the shell
  none,            // a session without a terminal; output (and errors) to a pipe
};

struct JobStatus {
  enum Kind { running, stopped, exited, signaled, lost } kind = lost;
  int code = 0;  // exit code or signal
  bool operator==(const JobStatus&) const = default;
};

std::string describe(const JobStatus& status);
inline void PrintTo(const JobStatus& status, std::ostream* out) { *out << describe(status); }

struct Job {
  pid_t pid = -1;        // the job's process
  int master = -1;       // the terminal's other side: what is typed, what is shown
  int slave = -1;        // kept open: the terminal's mode outlives the job
  int stdout_pipe = -1;  // the read end, when standard output goes to a pipe
  int control = -1;      // to the shell
  pid_t shell = -1;
  std::string output;  // what the job wrote so far, as read_output takes it in

  Job() = default;
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;
  ~Job();

  // Runs body (its return value is the exit code) in the job's process.
  bool start(const std::function<int()>& body, Terminal terminal = Terminal::foreground_job,
             bool stdout_to_pipe = false);

  // As bash's fg: the terminal goes to the job, which continues if it was
  // stopped. A job that runs gets no SIGCONT.
  void fg();
  // As bash's bg: a stopped job continues, the terminal stays with the shell.
  void bg();
  // Waits until the job stops or ends; the shell then takes the terminal
  // back, as a shell does. running after timeout.
  JobStatus wait(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
  void type(const std::string& keys);
  // Sends a signal as a user does: SIGINT, SIGQUIT and SIGTSTP by their
  // keys on the terminal (Ctrl+C, Ctrl+\, Ctrl+Z), any other with kill.
  void send(int signal_number);
  // Closes the terminal's other side, as a closed terminal window or a lost
  // ssh connection does: the terminal hangs up.
  void hang_up();
  // Takes in what the job wrote to the terminal (CR LF line ends) and to
  // the pipe since the last call, and returns it.
  std::string read_output();
  // Takes in output until text has appeared in it, for at most timeout.
  bool wait_for(const std::string& text,
                std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

  // Canonical input and echo are on: the terminal has the shell's mode.
  bool terminal_restored() const;
  // Waits until the job has taken the terminal's mode (canonical input and
  // echo off) or, with taken false, has given it back.
  bool wait_for_mode(bool taken,
                     std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

 private:
  JobStatus ask(char command, int timeout_ms);
};
