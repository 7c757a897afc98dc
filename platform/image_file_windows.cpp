#include <windows.h>

#include <cstdint>

#include "platform/image_file.h"
#include "platform/wide_path_windows.h"

namespace kv9 {
namespace {

inline constexpr DWORD kMaxReadBytes = DWORD{1} << 30;

HANDLE handle_of(const ImageFile& f) {
  return reinterpret_cast<HANDLE>(f.handle);
}

// One ReadFile: at `offset` of a disc file (every worker reads the one handle, each at its own
// offset), or the next bytes of a pipe. The end of the file and a pipe whose writer has gone
// read as 0 bytes.
int64_t read_once(const ImageFile& f, uint64_t offset, uint8_t* dst, DWORD n) {
  DWORD got = 0;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  if (::ReadFile(handle_of(f), dst, n, &got, f.seekable ? &at : nullptr)) return got;
  const DWORD error = ::GetLastError();
  return error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE ? 0 : -1;
}

}  // namespace

bool open_image_file(ImageFile& f, const char* path) {
  WidePath wide;
  if (!widen_path(path, wide)) return false;
  // Other programs may read, write, rename or delete the image meanwhile, as on Linux. A folder
  // cannot be opened this way.
  const HANDLE h = ::CreateFileW(wide.data(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  f.handle = reinterpret_cast<intptr_t>(h);
  f.seekable = ::GetFileType(h) == FILE_TYPE_DISK;
  LARGE_INTEGER size;
  f.size = f.seekable && ::GetFileSizeEx(h, &size) ? size.QuadPart : -1;
  // Only a file that can be read at an offset is probed: a pipe would lose the byte.
  uint8_t probe;
  if (f.seekable && read_once(f, 0, &probe, 1) < 0) {
    close_image_file(f);
    return false;
  }
  return true;
}

void close_image_file(ImageFile& f) {
  if (f.handle != -1) ::CloseHandle(handle_of(f));
  f.handle = -1;
}

int64_t read_image_file(const ImageFile& f, uint64_t offset, uint8_t* dst, std::size_t n) {
  if (f.seekable && offset > static_cast<uint64_t>(INT64_MAX - static_cast<int64_t>(n))) return 0;
  return read_once(f, offset, dst, n < kMaxReadBytes ? static_cast<DWORD>(n) : kMaxReadBytes);
}

}  // namespace kv9
