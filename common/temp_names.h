// Named temporary files beside a final name: their names, and the table of those that exist
// now, which an interrupt removes before the process ends. The table is fixed: an interrupt may
// come at any moment, on any thread, and must find every name whole.
#pragma once

#include <cstdint>

#include "platform/file_names.h"

namespace kv9 {

inline constexpr int kTempNameAttempts = 100;

// "NAME.XXXXXX" beside `target`, the X letters and digits that differ from attempt to attempt,
// from process to process and from call to call.
bool make_temp_name(const char* target, PathText& temp);

// Enters a named temporary file into the table; returns its place, -1 when the table is full
// (the file then survives an interrupt, as one of a killed run does).
int arm_cleanup(const char* path);
void disarm_cleanup(int slot);

// Removes every file of the table with `remove`; safe in a signal handler when `remove` is.
void remove_armed_files(void (*remove)(const char* path));

}  // namespace kv9
