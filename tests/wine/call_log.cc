#include "call_log.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

HANDLE log_file = INVALID_HANDLE_VALUE;
LARGE_INTEGER clock_rate;
// The program's thread, Windows' console event thread and the scripted DLL's
// own threads all log: each line is stamped and put in the buffer whole under
// the lock, so lines never interleave and their stamps rise down the file.
// No C run-time stream is used: a thread that Windows ends while it holds a
// stream's lock would leave the process's last line waiting for it.
CRITICAL_SECTION log_lock;
char buffer[1 << 16];
size_t buffered = 0;
// Set once the process ends: the other threads are gone by then, and a lock
// one of them held is never let go, so the last lines are written without it.
bool alone = false;

long long microseconds() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  // Absolute, like the key recorder's stamps, so the two logs line up.
  return now.QuadPart / clock_rate.QuadPart * 1000000LL +
         now.QuadPart % clock_rate.QuadPart * 1000000LL / clock_rate.QuadPart;
}

void write_out() {
  DWORD written = 0;
  WriteFile(log_file, buffer, static_cast<DWORD>(buffered), &written, nullptr);
  buffered = 0;
}

void lock() {
  if (!alone) EnterCriticalSection(&log_lock);
}

void unlock() {
  if (!alone) LeaveCriticalSection(&log_lock);
}

}  // namespace

void log_call(const char* what, std::initializer_list<long long> args, long long result) {
  if (log_file == INVALID_HANDLE_VALUE) return;
  char line[256];
  size_t length = 0;
  auto add = [&](int written) {
    if (written > 0) length += static_cast<size_t>(written);
    if (length >= sizeof line) length = sizeof line - 1;  // cut, never overrun
  };
  lock();
  add(std::snprintf(line, sizeof line, "%lld %s", microseconds(), what));
  for (long long arg : args) add(std::snprintf(line + length, sizeof line - length, " %lld", arg));
  add(std::snprintf(line + length, sizeof line - length, " = %lld\n", result));
  if (buffered + length > sizeof buffer) write_out();
  std::memcpy(buffer + buffered, line, length);
  buffered += length;
  unlock();
}

void log_call(const char* what, long long arg, long long result) { log_call(what, {arg}, result); }

void open_call_log(const char* path) {
  QueryPerformanceFrequency(&clock_rate);
  InitializeCriticalSection(&log_lock);
  if (path == nullptr) return;
  log_file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

void flush_call_log() {
  lock();
  if (log_file != INVALID_HANDLE_VALUE) write_out();
  unlock();
}

void log_process_end(bool by_the_programs_thread) {
  alone = true;
  log_call("process_end", by_the_programs_thread ? 1 : 0, 0);
  if (log_file != INVALID_HANDLE_VALUE) write_out();
}
