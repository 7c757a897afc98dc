// A file written beside its final name and put in place whole, so that a name never holds a
// cut file: an output, or the address file. Until it is put in place the earlier file of that
// name stays exactly as it was; a failed write or an interrupt drops the new one. Where the
// system can, the file is written unnamed, and a run killed outright leaves nothing behind;
// elsewhere it is a temporary file "NAME.XXXXXX" beside the final one, which blocks nothing.
//
// A name that is a symbolic link is followed: the file is written beside the link's target and
// replaces the target. A name that is a FIFO or a device is written into directly. (Not on
// Windows, where the name itself is replaced; there the address file is written with CR LF line
// ends, and a file that a program holds open is waited for a few seconds before the replace
// fails.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/file_names.h"

namespace kv9 {

enum class PendingKind {
  kOutput,       // written as bytes; can be made again from the image, so not flushed to disk
  kAddressFile,  // written as text, flushed to the disk before and after it replaces the old
};

struct PendingFile {
  std::FILE* file = nullptr;  // the open file: the address file's text goes through it
  PendingKind kind = PendingKind::kOutput;
  bool direct = false;    // a FIFO or a device, written into directly
  intptr_t unnamed = -1;  // the unnamed file, kept open until it is put in place
  int cleanup_slot = -1;  // the named temporary file's place in the interrupt cleanup
  PathText target{};      // the final name, through symbolic links
  PathText temp_name{};   // the named temporary file, or empty
};

// Creates the file that stands in for `name` until it is put in place. False when it cannot be
// created (a folder of that name, a folder that cannot be written...).
bool create_pending_file(PendingFile& p, const char* name, PendingKind kind);

// An output's bytes go straight to the file beneath `file`, never through its buffer.
enum class WriteResult {
  kWritten,  // every byte
  kNoSpace,  // the disk or the user's quota is full: bytes may go in once others free room
  kFailed,   // any other failure: an I/O error, the file-size limit, a reader that went away
};
// Writes bytes n_done to n of `data` at the file's position, advancing n_done past every byte
// written, also when the write stops part-way.
WriteResult write_pending_bytes(PendingFile& p, const uint8_t* data, std::size_t n,
                                std::size_t& n_done);
// Moves the file's position as lseek does (SEEK_SET, SEEK_CUR, SEEK_END); returns the new
// position, or -1 when that fails (a FIFO, a device).
int64_t seek_pending_file(PendingFile& p, int64_t offset, int whence);

// Ends the writing: flushes and closes the stream. False when a write or the close failed.
bool close_pending_file(PendingFile& p);

// Puts a closed file in place under its final name, with the permissions of the file it
// replaces (a new one gets the usual permissions). False when that fails: the earlier file stays.
bool commit_pending_file(PendingFile& p);

// Drops the file (closing it first if need be); the earlier file of the name stays as it was.
void discard_pending_file(PendingFile& p);

// True when a file stands under the final name now: an earlier output, to be replaced or kept.
bool target_exists(const PendingFile& p);

// True when writing `name` writes into a FIFO or a device (through symbolic links): it is
// written directly, and what it is written to sees every byte at once.
bool names_a_stream(const char* name);

// From now on an interrupt (SIGINT, SIGTERM or SIGHUP; Ctrl+C or a closed console on Windows)
// removes the named temporary files, then ends the process as it would have ended it. Call it
// before the process makes any other thread. A write refused for the file size (SIGXFSZ) or to
// a pipe whose reader went away (SIGPIPE) fails as a write, and never ends the process.
void install_interrupt_cleanup();

}  // namespace kv9
