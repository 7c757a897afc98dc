// A disc image as the tools read it: the 2048-byte user data of its data track, whatever form
// the file holds it in. Every address the tools use is a byte offset in that user data, so one
// address file serves every form of the same disc.
//
// Forms, told apart by content:
//   - 2048-byte sectors back to back (an ISO, a .img);
//   - raw 2352-byte sectors, Mode 1 (user data at 16) or Mode 2 Form 1 (at 24), known by the
//     sync pattern and the mode byte of the first sector; each sector read is checked (sync,
//     address, mode, subheader, EDC) and its data used as read;
//   - a CUE sheet (text, no NUL byte in its first sector's worth): its first track is the
//     image, read from the sheet's FILE as the track's form says, from its INDEX 01 to the next
//     track's first index in the same file, or to the file's end.
// The image ends where the data track ends; a raw file cut inside a sector gives the user data
// the sector holds, and that sector fails its check.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/layout.h"
#include "common/sector_check.h"
#include "platform/file_names.h"
#include "platform/image_file.h"

namespace kv9 {

enum class ImageForm { kCooked, kRawMode1, kRawMode2 };

struct DiscImage {
  ImageFile file;
  ImageForm form = ImageForm::kCooked;
  uint64_t track_at = 0;              // byte offset of the data track's first sector in the file
  uint64_t track_bytes = UINT64_MAX;  // its bytes in the file, as far as they are known
  uint32_t first_lba = 0;             // the address its first sector carries, for the check
  // A pipe's first bytes, read to learn its form, handed out again before the pipe's next ones.
  std::array<uint8_t, kRawSectorSize> lead{};
  std::size_t lead_bytes = 0;
};

// Room for a line that says why an image was refused.
inline constexpr std::size_t kRefusalBytes = 2 * kMaxPathBytes + 160;

// Opens the image at `path` (any form, a sheet followed to its file). False when it cannot be
// read as an image; `refusal` then holds the line that says why, without its line feed:
// "cannot open file PATH", or "sheet PATH: ..." for a sheet that names no track the tools read.
bool open_disc_image(DiscImage& d, const char* path, char (&refusal)[kRefusalBytes]);
void close_disc_image(DiscImage& d);

// The bytes of user data of the data track, -1 where they are not known before the end is met
// (a pipe).
int64_t disc_image_bytes(const DiscImage& d);

// Sectors of the data track that failed their check as they were read, by index in the track.
inline constexpr std::size_t kRawBlockSectors = 513;  // a 1 MiB block, and the sector it starts in
inline constexpr std::size_t kRawBlockBytes = kRawBlockSectors * kRawSectorSize;
struct FailedSectors {
  std::array<uint64_t, kRawBlockSectors> index{};
  std::size_t count = 0;
};

// Reads up to n bytes of user data from byte `at` on into dst, as many as the image gives
// before its end. Raw sectors are read whole into `raw` (kRawBlockBytes) and checked; those that
// fail are added to `failed`. `read_failed` is set when the file reported a read error. A pipe
// is read forward only: each call asks for the bytes after the previous call's.
std::size_t read_disc_data(const DiscImage& d, uint64_t at, uint8_t* dst, std::size_t n,
                           uint8_t* raw, FailedSectors& failed, bool& read_failed);

// How many bytes of user data may be asked for from `at` on so that the read ends on a sector
// boundary where the form has sectors: at most n, and never 0 when n > 0.
std::size_t whole_sectors_to_read(const DiscImage& d, uint64_t at, std::size_t n);

}  // namespace kv9
