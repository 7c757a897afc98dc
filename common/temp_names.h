// Named temporary files beside a final name: their names, and the table of those that exist
// now, which an interrupt removes before the process ends.
//
// Every step that creates or names such a file and enters it into the table, or renames or
// removes it and takes it out, runs under the table's hold; the interrupt takes the hold too,
// and never gives it back. So an interrupt never finds a file that is not in the table yet, nor
// one that another thread is renaming, and no thread makes a new one after it has cleaned up.
#pragma once

#include <cstdint>

#include "platform/file_names.h"

namespace kv9 {

inline constexpr int kTempNameAttempts = 100;

// "NAME.XXXXXX" beside `target`, the X letters and digits that differ from attempt to attempt,
// from process to process and from call to call.
bool make_temp_name(const char* target, PathText& temp);

// The table's hold for the scope of one step (see above).
class CleanupHold {
 public:
  CleanupHold();
  ~CleanupHold();
  CleanupHold(const CleanupHold&) = delete;
  CleanupHold& operator=(const CleanupHold&) = delete;
};

// Enters a named temporary file into the table, under the hold; returns its place, -1 when the
// table is full (the file then survives an interrupt, as one of a killed run does).
int arm_cleanup(const char* path);
// Takes a file out of the table, under the hold.
void disarm_cleanup(int slot);

// The interrupt's part: takes the hold for good (waiting for a step under way to end), then
// removes every file of the table with `remove`.
void remove_armed_files(void (*remove)(const char* path));

}  // namespace kv9
