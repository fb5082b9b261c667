// The commands a message on standard error gives, as a user pastes them:
// the lines indented under it, each selected whole. They must parse in
// bash, and run one after another, from folder, with stand-ins for sudo,
// install, modprobe, udevadm, tee and chown, they must find every file they
// install.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

inline std::vector<std::string> command_lines(const std::string& said) {
  std::vector<std::string> lines;
  std::istringstream text(said);
  for (std::string line; std::getline(text, line);) {
    if (line.rfind("  ", 0) == 0) lines.push_back(line);
  }
  return lines;
}

// bash's exit status for argv, run in folder.
inline int bash_status(const std::vector<std::string>& argv, const std::string& folder) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> args = {const_cast<char*>("bash")};
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    if (chdir(folder.c_str()) == 0) execvp("bash", args.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool bash_parses(const std::string& line) {
  return bash_status({"-n", "-c", line}, "/") == 0;
}

// Runs lines as pasted, from folder; true when every one succeeds.
inline bool run_as_pasted(const std::vector<std::string>& lines, const std::string& folder) {
  std::string script =
      "set -e\n"
      "sudo() { \"$@\"; }\n"
      "install() { [ -f \"${@: -2:1}\" ] || { echo \"no file: ${@: -2:1}\" >&2; return 1; }; }\n"
      "modprobe() { :; }\n"
      "udevadm() { :; }\n"
      "tee() { cat >/dev/null; }\n"
      "chown() { :; }\n";
  for (const std::string& line : lines) script += line + "\n";
  return bash_status({"-c", script}, folder) == 0;
}
