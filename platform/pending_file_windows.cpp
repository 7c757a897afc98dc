#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>

#include "common/temp_names.h"
#include "platform/pending_file.h"
#include "platform/wide_path_windows.h"

namespace kv9 {
namespace {

// Attributes of the file replaced that the new one takes over. A read-only file is not
// replaced at all: Windows refuses it.
inline constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                         FILE_ATTRIBUTE_ARCHIVE |
                                         FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Windows does not replace a file that a program holds open without letting it be deleted (a
// player, an editor): the replace is tried again for a few seconds, then given up, and the
// earlier file stays.
inline constexpr int kReplaceAttempts = 60;
inline constexpr DWORD kReplacePauseMs = 50;
inline constexpr std::size_t kMaxWriteBytes = std::size_t{1} << 30;
inline constexpr DWORD kDiskQuotaExceeded =
    1295;  // ERROR_DISK_QUOTA_EXCEEDED (not in MinGW's headers)

// A new named file beside the target, entered into the interrupt cleanup as it is made. It may
// be deleted while open, so that an interrupt can remove it.
HANDLE open_named(PendingFile& p) {
  const CleanupHold hold;
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    WidePath wide;
    if (!make_temp_name(p.target.data(), p.temp_name) || !widen_path(p.temp_name.data(), wide))
      break;
    const HANDLE h = ::CreateFileW(wide.data(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                   nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      p.cleanup_slot = arm_cleanup(p.temp_name.data());
      return h;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  p.temp_name[0] = '\0';
  return INVALID_HANDLE_VALUE;
}

void remove_file(const char* path) {
  WidePath wide;
  if (widen_path(path, wide)) ::DeleteFileW(wide.data());
}

// Removes the named temporary file, if any, and takes it out of the cleanup; under the hold.
void remove_named(PendingFile& p) {
  if (p.temp_name[0] != '\0') remove_file(p.temp_name.data());
  disarm_cleanup(p.cleanup_slot);
  p.cleanup_slot = -1;
  p.temp_name[0] = '\0';
}

DWORD attributes_of(const char* path) {
  WidePath wide;
  return widen_path(path, wide) ? ::GetFileAttributesW(wide.data()) : INVALID_FILE_ATTRIBUTES;
}

// Moves the named file over the target, waiting for a reader that holds the target open. Each
// attempt runs under the cleanup's hold, and the moved file leaves the cleanup in the same step.
bool replace_target(PendingFile& p, DWORD earlier) {
  WidePath from;
  WidePath to;
  if (!widen_path(p.temp_name.data(), from) || !widen_path(p.target.data(), to)) return false;
  const DWORD flags = MOVEFILE_REPLACE_EXISTING |
                      (p.kind == PendingKind::kAddressFile ? MOVEFILE_WRITE_THROUGH : 0);
  const bool may_wait =
      earlier != INVALID_FILE_ATTRIBUTES && (earlier & FILE_ATTRIBUTE_READONLY) == 0;
  for (int attempt = 0;; ++attempt) {
    DWORD error;
    {
      const CleanupHold hold;
      if (::MoveFileExW(from.data(), to.data(), flags)) {
        p.temp_name[0] = '\0';
        remove_named(p);
        return true;
      }
      error = ::GetLastError();
    }
    const bool held = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
                      error == ERROR_LOCK_VIOLATION;
    if (!held || !may_wait || attempt + 1 == kReplaceAttempts) return false;
    ::Sleep(kReplacePauseMs);
  }
}

// Runs on a thread of its own, which the system makes for the event.
BOOL WINAPI on_console_event(DWORD) {
  remove_armed_files(remove_file);
  return FALSE;  // the next handler, the system's own, ends the process
}

}  // namespace

bool create_pending_file(PendingFile& p, const char* name, PendingKind kind) {
  p = PendingFile{};
  p.kind = kind;
  if (!resolve_target(name, p.target)) return false;
  const DWORD earlier = attributes_of(p.target.data());
  if (earlier != INVALID_FILE_ATTRIBUTES && (earlier & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  const HANDLE h = open_named(p);
  if (h == INVALID_HANDLE_VALUE) return false;
  // The address file is text: every line feed is written as CR LF.
  const bool text = kind == PendingKind::kAddressFile;
  const int fd =
      ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | (text ? _O_TEXT : _O_BINARY));
  if (fd == -1) ::CloseHandle(h);
  if (fd != -1) p.file = ::_fdopen(fd, text ? "w" : "wb");
  if (p.file != nullptr) return true;
  if (fd != -1) ::_close(fd);
  discard_pending_file(p);
  return false;
}

WriteResult write_pending_bytes(PendingFile& p, const uint8_t* data, std::size_t n,
                                std::size_t& n_done) {
  const auto h = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(p.file)));
  while (n_done < n) {
    const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(n - n_done, kMaxWriteBytes));
    DWORD wrote = 0;
    if (!::WriteFile(h, data + n_done, ask, &wrote, nullptr) || wrote == 0) {
      const DWORD error = ::GetLastError();
      return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ||
                     error == kDiskQuotaExceeded
                 ? WriteResult::kNoSpace
                 : WriteResult::kFailed;
    }
    n_done += wrote;
  }
  return WriteResult::kWritten;
}

int64_t seek_pending_file(PendingFile& p, int64_t offset, int whence) {
  return ::_lseeki64(::_fileno(p.file), offset, whence);
}

bool close_pending_file(PendingFile& p) {
  if (p.file == nullptr) return true;
  bool ok = std::ferror(p.file) == 0 && std::fflush(p.file) == 0;
  if (p.kind == PendingKind::kAddressFile) {
    const auto h = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(p.file)));
    ok = ::FlushFileBuffers(h) && ok;
  }
  ok = std::fclose(p.file) == 0 && ok;
  p.file = nullptr;
  return ok;
}

bool commit_pending_file(PendingFile& p) {
  const DWORD earlier = attributes_of(p.target.data());
  bool ok = true;
  if (earlier != INVALID_FILE_ATTRIBUTES && (earlier & kKeptAttributes) != 0) {
    WidePath wide;
    ok = widen_path(p.temp_name.data(), wide) &&
         ::SetFileAttributesW(wide.data(), earlier & kKeptAttributes);
  }
  if (ok && replace_target(p, earlier)) return true;
  const CleanupHold hold;
  remove_named(p);
  return false;
}

void discard_pending_file(PendingFile& p) {
  if (p.file != nullptr) std::fclose(p.file);
  p.file = nullptr;
  const CleanupHold hold;
  remove_named(p);
}

bool target_exists(const PendingFile& p) {
  return attributes_of(p.target.data()) != INVALID_FILE_ATTRIBUTES;
}

bool names_a_stream(const char*) {
  return false;  // a folder holds no FIFOs; device names are not taken as outputs
}

void install_interrupt_cleanup() {
  ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

}  // namespace kv9
