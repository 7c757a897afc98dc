#include <windows.h>

#include <cerrno>
#include <cstring>

#include "platform/file_names.h"
#include "platform/wide_path_windows.h"

namespace kv9 {
namespace {

inline bool is_separator(char c) {
  return c == '\\' || c == '/';
}

// The length of a drive prefix such as "D:", else 0.
std::size_t drive_prefix(const char* path) {
  const char letter = static_cast<char>(path[0] | 0x20);
  return letter >= 'a' && letter <= 'z' && path[1] == ':' ? 2 : 0;
}

}  // namespace

bool widen_path(const char* path, WidePath& wide) {
  return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide.data(),
                               static_cast<int>(wide.size())) > 0;
}

std::FILE* open_file(const char* path, const char* mode) {
  WidePath wide;
  wchar_t wide_mode[8];
  std::size_t i = 0;
  for (; mode[i] != '\0' && i + 1 < std::size(wide_mode); ++i) wide_mode[i] = wchar_t(mode[i]);
  wide_mode[i] = L'\0';
  if (!widen_path(path, wide)) {
    errno = EINVAL;
    return nullptr;
  }
  return ::_wfopen(wide.data(), wide_mode);
}

void folder_of(const char* path, PathText& folder) {
  // "D:kv9disc1.img" lies in the current folder of drive D, "C:\kv9disc1.img" in the root.
  const std::size_t drive = drive_prefix(path);
  const char* last = nullptr;
  for (const char* p = path + drive; *p != '\0'; ++p) {
    if (is_separator(*p)) last = p;
  }
  int keep;
  if (last == nullptr) {
    keep = static_cast<int>(drive);
  } else {
    // A separator that opens the path (after the drive) stands for the root and is kept.
    const char* root_end = path + drive;
    while (is_separator(*root_end)) ++root_end;
    keep = static_cast<int>((last < root_end ? root_end : last) - path);
  }
  if (keep == 0) {
    std::snprintf(folder.data(), folder.size(), ".");
  } else {
    std::snprintf(folder.data(), folder.size(), "%.*s", keep, path);
  }
}

bool file_beside(const char* sheet, const char* name, PathText& path) {
  // "C:\x.bin", "C:x.bin" and "\x.bin" are taken as Windows takes them, whatever the sheet.
  int written;
  if (drive_prefix(name) > 0 || is_separator(name[0])) {
    written = std::snprintf(path.data(), path.size(), "%s", name);
  } else {
    PathText folder;
    folder_of(sheet, folder);
    // The folder of "D:kv9.cue" is "D:", the current folder of drive D.
    const std::size_t n = std::strlen(folder.data());
    const char* separator = n > 0 && folder[n - 1] == ':' ? "" : "\\";
    written = std::snprintf(path.data(), path.size(), "%s%s%s", folder.data(), separator, name);
  }
  return written >= 0 && written < int(path.size());
}

bool resolve_target(const char* name, PathText& target) {
  // A name is written as it is: a symbolic link, rare on Windows, is replaced as a file.
  return std::snprintf(target.data(), target.size(), "%s", name) < int(target.size());
}

}  // namespace kv9
