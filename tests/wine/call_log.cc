#include "call_log.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>

namespace {

FILE* log_file = nullptr;
LARGE_INTEGER clock_rate;

long long microseconds() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  // Absolute, like the key recorder's stamps, so the two logs line up.
  return now.QuadPart / clock_rate.QuadPart * 1000000LL +
         now.QuadPart % clock_rate.QuadPart * 1000000LL / clock_rate.QuadPart;
}

}  // namespace

void log_call(const char* what, std::initializer_list<long long> args, long long result) {
  if (log_file == nullptr) return;
  std::fprintf(log_file, "%lld %s", microseconds(), what);
  for (long long arg : args) std::fprintf(log_file, " %lld", arg);
  std::fprintf(log_file, " = %lld\n", result);
}

void log_call(const char* what, long long arg, long long result) { log_call(what, {arg}, result); }

void open_call_log(const char* path) {
  QueryPerformanceFrequency(&clock_rate);
  if (path != nullptr) log_file = std::fopen(path, "w");
  if (log_file != nullptr) std::setvbuf(log_file, nullptr, _IOFBF, 1 << 16);
}

void flush_call_log() {
  if (log_file != nullptr) std::fflush(log_file);
}
