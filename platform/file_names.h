// Files named by path, the same way on every system: paths are UTF-8 text (as the tools take
// them from their command line), a symbolic link is followed to the file it names (on Windows a
// name is taken as it is). Windows paths may use either separator and a drive ("D:").
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>

namespace kv9 {

inline constexpr std::size_t kMaxPathBytes = 4096;
using PathText = std::array<char, kMaxPathBytes>;

// Opens a file by path with an fopen mode.
std::FILE* open_file(const char* path, const char* mode);

// The folder a path lies in: what precedes its last separator, or the current folder.
void folder_of(const char* path, PathText& folder);

// The file a CUE sheet at `sheet` names as `name`: the name itself when it is a whole path, else
// the name in the sheet's folder. Either separator is taken (on Linux a backslash only where the
// name as written names no file: sheets made on Windows write them).
bool file_beside(const char* sheet, const char* name, PathText& path);

// The file that writing `name` changes: the target of a symbolic link, followed to its end (also
// when the target does not exist yet), else `name` itself. False when the links do not end.
bool resolve_target(const char* name, PathText& target);

}  // namespace kv9
