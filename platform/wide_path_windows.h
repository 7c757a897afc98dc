// Windows only: the tools take and keep paths as UTF-8 text; the system's calls take UTF-16.
// Shared by the _windows.cpp files.
#pragma once

#include <array>

#include "platform/file_names.h"

namespace kv9 {

using WidePath = std::array<wchar_t, kMaxPathBytes>;

// The path as UTF-16. False when it is not UTF-8 or does not fit.
bool widen_path(const char* path, WidePath& wide);

}  // namespace kv9
