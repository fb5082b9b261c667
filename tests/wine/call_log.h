// The scripted winmm.dll's log: "<microseconds> <call> <arg>... = <result>"
// a line, in the file named at load, on the clock of the key recorder.
#pragma once

#include <initializer_list>

void open_call_log(const char* path);  // nullptr: no log
void log_call(const char* what, std::initializer_list<long long> args, long long result);
void log_call(const char* what, long long arg, long long result);
// Logs "process_end" and writes the log out; called as the process ends.
void log_process_end(bool by_the_programs_thread);
// Writes out what is logged so far: before a fault, after which the
// process may end with no word to the DLL.
void flush_call_log();
