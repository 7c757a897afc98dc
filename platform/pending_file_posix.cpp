#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/temp_names.h"
#include "platform/pending_file.h"

namespace kv9 {
namespace {

inline constexpr mode_t kNewFileMode = 0666;  // less the umask, as for any new file
inline constexpr mode_t kPermissionBits = 07777;

// An unnamed file in `folder`, when the file system has them and the file can later be given a
// name through /proc.
int open_unnamed(const char* folder) {
  const int fd = ::open(folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, kNewFileMode);
  if (fd < 0) return -1;
  char proc[64];
  std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  if (::access(proc, F_OK) == 0) return fd;
  ::close(fd);
  return -1;
}

// A new named file beside the target, entered into the interrupt cleanup.
int open_named(PendingFile& p) {
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    if (!make_temp_name(p.target.data(), p.temp_name)) return -1;
    const int fd =
        ::open(p.temp_name.data(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
    if (fd >= 0) {
      p.cleanup_slot = arm_cleanup(p.temp_name.data());
      return fd;
    }
    if (errno != EEXIST) break;
  }
  p.temp_name[0] = '\0';
  return -1;
}

void forget_named(PendingFile& p) {
  disarm_cleanup(p.cleanup_slot);
  p.cleanup_slot = -1;
  p.temp_name[0] = '\0';
}

// Gives the unnamed file a temporary name beside the target, so that it can be renamed over it.
bool name_unnamed(PendingFile& p) {
  char proc[64];
  std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", static_cast<int>(p.unnamed));
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    if (!make_temp_name(p.target.data(), p.temp_name)) break;
    if (::linkat(AT_FDCWD, proc, AT_FDCWD, p.temp_name.data(), AT_SYMLINK_FOLLOW) == 0) {
      p.cleanup_slot = arm_cleanup(p.temp_name.data());
      return true;
    }
    if (errno != EEXIST) break;
  }
  p.temp_name[0] = '\0';
  return false;
}

void flush_folder(const char* path) {
  PathText folder;
  folder_of(path, folder);
  const int fd = ::open(folder.data(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // should it fail, the folder still holds the old file or the new one
  ::close(fd);
}

void remove_file(const char* path) {
  ::unlink(path);
}

void on_interrupt(int signal) {
  remove_armed_files(remove_file);
  // The handler was reset to the default as it ran: the signal now ends the process.
  ::raise(signal);
}

}  // namespace

bool create_pending_file(PendingFile& p, const char* name, PendingKind kind) {
  p = PendingFile{};
  p.kind = kind;
  if (!resolve_target(name, p.target)) return false;
  struct stat st;
  if (::stat(p.target.data(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return false;
    if (!S_ISREG(st.st_mode)) {
      p.direct = true;
      p.file = std::fopen(p.target.data(), "wb");
      return p.file != nullptr;
    }
  }
  PathText folder;
  folder_of(p.target.data(), folder);
  int fd = open_unnamed(folder.data());
  if (fd >= 0) {
    p.unnamed = fd;
    fd = ::dup(fd);
  } else {
    fd = open_named(p);
  }
  if (fd >= 0) p.file = ::fdopen(fd, kind == PendingKind::kAddressFile ? "w" : "wb");
  if (p.file != nullptr) return true;
  if (fd >= 0) ::close(fd);
  discard_pending_file(p);
  return false;
}

bool close_pending_file(PendingFile& p) {
  if (p.file == nullptr) return true;
  bool ok = std::ferror(p.file) == 0 && std::fflush(p.file) == 0;
  if (p.kind == PendingKind::kAddressFile && !p.direct) ok = ::fsync(::fileno(p.file)) == 0 && ok;
  ok = std::fclose(p.file) == 0 && ok;
  p.file = nullptr;
  return ok;
}

bool commit_pending_file(PendingFile& p) {
  if (p.direct) return true;
  struct stat earlier;
  const bool replaces = ::stat(p.target.data(), &earlier) == 0 && S_ISREG(earlier.st_mode);
  bool ok = p.unnamed < 0 || name_unnamed(p);
  if (ok && replaces) ok = ::chmod(p.temp_name.data(), earlier.st_mode & kPermissionBits) == 0;
  ok = ok && std::rename(p.temp_name.data(), p.target.data()) == 0;
  if (!ok) {
    discard_pending_file(p);
    return false;
  }
  forget_named(p);
  if (p.unnamed >= 0) ::close(static_cast<int>(p.unnamed));
  p.unnamed = -1;
  if (p.kind == PendingKind::kAddressFile) flush_folder(p.target.data());
  return true;
}

void discard_pending_file(PendingFile& p) {
  if (p.file != nullptr) std::fclose(p.file);
  p.file = nullptr;
  if (p.temp_name[0] != '\0') ::unlink(p.temp_name.data());
  forget_named(p);
  if (p.unnamed >= 0) ::close(static_cast<int>(p.unnamed));
  p.unnamed = -1;
}

bool target_exists(const PendingFile& p) {
  struct stat st;
  return ::lstat(p.target.data(), &st) == 0;
}

void install_interrupt_cleanup() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // An interrupt the caller chose to ignore (a run in the background of a shell) stays so.
    if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

}  // namespace kv9
