#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "common/temp_names.h"
#include "platform/pending_file.h"

namespace kv9 {
namespace {

inline constexpr mode_t kNewFileMode = 0666;  // less the umask, as for any new file
inline constexpr mode_t kPermissionBits = 07777;
inline constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

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

// A new named file beside the target, entered into the interrupt cleanup as it is made.
int open_named(PendingFile& p) {
  const CleanupHold hold;
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

// Removes the named temporary file, if any, and takes it out of the cleanup; under the hold.
void remove_named(PendingFile& p) {
  if (p.temp_name[0] != '\0') ::unlink(p.temp_name.data());
  disarm_cleanup(p.cleanup_slot);
  p.cleanup_slot = -1;
  p.temp_name[0] = '\0';
}

// Gives the unnamed file a temporary name beside the target, so that it can be renamed over it;
// under the hold, which lasts until the name is gone again.
bool name_unnamed(PendingFile& p) {
  char proc[64];
  std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", static_cast<int>(p.unnamed));
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    if (!make_temp_name(p.target.data(), p.temp_name)) break;
    if (::linkat(AT_FDCWD, proc, AT_FDCWD, p.temp_name.data(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno != EEXIST) break;
  }
  p.temp_name[0] = '\0';
  return false;
}

void close_unnamed(PendingFile& p) {
  if (p.unnamed >= 0) ::close(static_cast<int>(p.unnamed));
  p.unnamed = -1;
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

// The thread that takes the interrupts, which every other thread leaves to it: it waits for
// one, cleans up, and ends the process by it.
void take_interrupts(sigset_t interrupts) {
  int signal = 0;
  while (::sigwait(&interrupts, &signal) != 0) {
  }
  remove_armed_files(remove_file);
  ::signal(signal, SIG_DFL);
  sigset_t just_this;
  sigemptyset(&just_this);
  sigaddset(&just_this, signal);
  ::pthread_sigmask(SIG_UNBLOCK, &just_this, nullptr);
  ::raise(signal);  // the default action ends the process here
  ::_exit(128 + signal);
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

WriteResult write_pending_bytes(PendingFile& p, const uint8_t* data, std::size_t n,
                                std::size_t& n_done) {
  const int fd = ::fileno(p.file);
  while (n_done < n) {
    const ssize_t r = ::write(fd, data + n_done, n - n_done);
    if (r > 0) {
      n_done += static_cast<std::size_t>(r);
    } else if (r == 0 || errno != EINTR) {
      return r < 0 && (errno == ENOSPC || errno == EDQUOT) ? WriteResult::kNoSpace
                                                           : WriteResult::kFailed;
    }
  }
  return WriteResult::kWritten;
}

int64_t seek_pending_file(PendingFile& p, int64_t offset, int whence) {
  return ::lseek(::fileno(p.file), static_cast<off_t>(offset), whence);
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
  bool ok;
  {
    const CleanupHold hold;
    ok = p.unnamed < 0 || name_unnamed(p);
    if (ok && replaces) ok = ::chmod(p.temp_name.data(), earlier.st_mode & kPermissionBits) == 0;
    ok = ok && std::rename(p.temp_name.data(), p.target.data()) == 0;
    if (ok) p.temp_name[0] = '\0';
    remove_named(p);
  }
  close_unnamed(p);
  if (ok && p.kind == PendingKind::kAddressFile) flush_folder(p.target.data());
  return ok;
}

void discard_pending_file(PendingFile& p) {
  if (p.file != nullptr) std::fclose(p.file);
  p.file = nullptr;
  {
    const CleanupHold hold;
    remove_named(p);
  }
  close_unnamed(p);
}

bool target_exists(const PendingFile& p) {
  struct stat st;
  return ::lstat(p.target.data(), &st) == 0;
}

bool names_a_stream(const char* name) {
  struct stat st;
  return ::stat(name, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

void install_interrupt_cleanup() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
  sigset_t interrupts;
  sigemptyset(&interrupts);
  for (const int signal : kInterrupts) {
    struct sigaction old {};
    // An interrupt the caller chose to ignore (a run in the background of a shell) stays so.
    if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaddset(&interrupts, signal);
  }
  // Every thread made from now on leaves the interrupts to the one that takes them.
  ::pthread_sigmask(SIG_BLOCK, &interrupts, nullptr);
  std::thread(take_interrupts, interrupts).detach();
}

}  // namespace kv9
