#include "syscall_trace.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>

using namespace std::chrono_literals;

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
