// The shell of a job-control test: a process that starts the job in its
// own process group (or session), hands it the terminal as a shell does,
// and carries out the commands the test sends it over a socket.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>

#include "job_shell.h"

// What the shell answers to each command.
struct ShellReply {
  int kind;  // a JobStatus kind
  int code;
};

bool send_all(int fd, const void* data, std::size_t size);
bool receive_all(int fd, void* data, std::size_t size);

// pid is stopped (by a signal), as /proc tells.
bool process_stopped(pid_t pid);

// Runs the job and then does what the test asks on control: a command ('f',
// 'b' or 'w') and a timeout each, each answered with a ShellReply.
[[noreturn]] void run_shell(int slave, int control, Terminal terminal, int pipe_end,
                            const std::function<int()>& body);
