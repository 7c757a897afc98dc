// The tools' fast code against its plain references, as checks that the unit tests run on long
// generated input and the fuzz targets on theirs. Each returns an empty string when the two
// agree, else what differs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/layout.h"
#include "support/reference_codec.h"

namespace kv9::test {

// What `f` prints on standard output.
std::string console_of(const std::function<void()>& f);

// Lays the headers of a frame's first `sectors` sectors (SMN, SMR, then SMJ) at byte `at` of
// `img`, as far as it reaches; bytes 6-7 hold `counter`, 0 in a movie's first frame. Byte
// `miss_at` of each, if below 8, is changed to `miss`.
void put_frame_headers(std::string& img, std::size_t at, int sectors = 10, uint8_t counter = 0,
                       int miss_at = 8, char miss = 0);

// The block-wise scan of the image file at `path` as disc `disc`, against the byte-by-byte
// reference scan: every console byte and every table entry, over tables cleared or built in.
std::string scan_differs(const char* path, int disc, bool builtin_tables = false);

// One audio sector's 2688-byte region from the given decoder and encoder histories: its block
// pairs decoded, resampled and encoded in place (all 18 sound groups as vidconv encodes a
// sector, or only the first `groups`), and the histories left.
std::string sector_differs(const RefStereo& decoder, const RefStereo& encoder,
                           const uint8_t* region, std::size_t groups = kSoundGroupsPerSector);

}  // namespace kv9::test
