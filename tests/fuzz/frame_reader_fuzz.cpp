// An image file made from the fuzz input, opened and positioned once, a few movie frames passed
// over with skip_movie and a few read with read_movie_frame.
//
// Input: byte 0 the frames to read (bits 0-1, plus one) and a large image (bit 2), byte 1 the
// frames to skip, then the offset (4 bytes), the image size (4 bytes) and the filler seed; then
// one byte per sector from the offset on: the right tag, one tag byte wrong or zero, or filler.
//
// Invariants:
//  - every frame read is exactly the file's 20480 bytes at its offset, 0xFF past the end;
//  - each frame prints one "SMN Error", "SMR Error" or "SMJ Error(k)" for each of its sectors
//    whose first three bytes differ from the expected tag, in sector order, and nothing else;
//  - the end indicator is set exactly when the bytes skipped or read reach beyond the end.
#include <algorithm>
#include <cstring>

#include "common/frame_reader.h"
#include "common/image_stream.h"
#include "common/layout.h"
#include "common/progress_meter.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using kv9::kFrameBytes;
using kv9::kFrameSectors;
using kv9::kSectorSize;

std::string image_path;
kv9::ImageStream image;
kv9::SourceFrame frame;

const char* tag(std::size_t sector_in_frame) {
  return sector_in_frame == 0 ? "SMN" : sector_in_frame == 1 ? "SMR" : "SMJ";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  image_path = kv9::fuzz::temp_file("kv9disc1.img");
  kv9::fuzz::printed();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  kv9::fuzz::Input in{data, size};
  const uint8_t mode = in.u8();
  const bool large = (mode & 4) != 0;  // past the stream's 1 MiB block
  const std::size_t reads = 1 + (mode & 3);
  const std::size_t skips = in.u8() % (large ? 64 : 3);
  const uint32_t offset_field = in.u32();
  const std::size_t file_size = in.u32() % ((large ? 1536 : 160) * 1024 + 1);
  // The offset: within the file, up to 64 KiB before its end, or anywhere.
  const uint64_t offset = offset_field < 0x80000000u ? offset_field % (file_size + 1)
                          : offset_field < 0xC0000000u
                              ? file_size - std::min<std::size_t>(file_size, offset_field & 0xFFFF)
                              : offset_field;

  static std::vector<uint8_t> file;
  file.resize(file_size);
  kv9::fuzz::fill(file, in.u8() + file_size);
  for (std::size_t j = 0; j < (skips + reads) * kFrameSectors; ++j) {
    const uint8_t choice = in.u8();  // 0, the right tag, once the input is used up
    const uint64_t at = offset + j * kSectorSize;
    if (at >= file_size || (choice & 3) == 3) continue;  // 3: the filler's own bytes
    uint8_t t[3];
    std::memcpy(t, tag(j % kFrameSectors), 3);
    if ((choice & 3) != 0) t[(choice >> 2) % 3] = (choice & 1) ? (choice >> 4) ^ 'J' : 0;
    std::memcpy(file.data() + at, t, std::min<uint64_t>(3, file_size - at));
  }
  kv9::fuzz::write_file(image_path, file.data(), file.size());

  KV9_CHECK(kv9::open_image(image, image_path.c_str()), "open_image failed on a plain file");
  kv9::position_image(image, offset);
  uint64_t asked = offset;  // positioning asks for no byte; skipping and reading do
  if (skips > 0) {
    kv9::skip_movie(image, static_cast<uint32_t>(skips));
    asked += skips * kFrameBytes;
  }
  KV9_CHECK(image.ended == (skips > 0 && asked > file_size),
            "after skipping to byte %llu of %zu the end indicator is %d",
            static_cast<unsigned long long>(asked), file_size, image.ended);

  kv9::ProgressMeter meter;
  kv9::reset_progress(meter, 1000000);  // no progress mark within a few frames
  for (std::size_t k = 0; k < reads; ++k, asked += kFrameBytes) {
    kv9::read_movie_frame(image, meter, frame);
    for (std::size_t i = 0; i < kFrameBytes; ++i) {
      const uint8_t want = asked + i < file_size ? file[asked + i] : 0xFF;
      KV9_CHECK(frame[i] == want, "frame %zu byte %zu is 0x%02X, the image has 0x%02X", k, i,
                frame[i], want);
    }
    KV9_CHECK(image.ended == (asked + kFrameBytes > file_size),
              "after reading to byte %llu of %zu the end indicator is %d",
              static_cast<unsigned long long>(asked + kFrameBytes), file_size, image.ended);
    std::string expected;
    for (std::size_t s = 0; s < kFrameSectors; ++s) {
      if (std::memcmp(frame.data() + s * kSectorSize, tag(s), 3) == 0) continue;
      expected +=
          s < 2 ? std::string(tag(s)) + " Error" : "SMJ Error(" + std::to_string(s - 2) + ")";
    }
    const std::string got = kv9::fuzz::printed();
    KV9_CHECK(got == expected, "frame %zu printed \"%s\", expected \"%s\"", k, got.c_str(),
              expected.c_str());
  }
  kv9::close_image(image);
  return 0;
}
