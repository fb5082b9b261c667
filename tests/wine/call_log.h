// The scripted winmm.dll's log: "<microseconds> <call> <arg>... = <result>"
// a line, in the file named at load, on the clock of the key recorder.
#pragma once

#include <initializer_list>

void open_call_log(const char* path);  // nullptr: no log
void log_call(const char* what, std::initializer_list<long long> args, long long result);
void log_call(const char* what, long long arg, long long result);
void flush_call_log();
