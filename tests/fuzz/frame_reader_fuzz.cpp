// An image file made from the fuzz input, opened and positioned once, a few movie frames passed
// over with skip_movie and a few read with read_movie_frame under a progress meter.
//
// Input: a 12-byte head (frames to read, frames to skip, offset, the meter's frame count, image
// size, filler seed), then one byte per sector from the offset on choosing its tag: the right
// one, a wrong one, the right one with a zero byte, or the filler's bytes.
//
// Invariants:
//  - every frame read is exactly the file's 20480 bytes at its offset, 0xFF past the end;
//  - the console shows exactly the progress marks that the meter's rules give for 10 sectors per
//    frame, each frame followed by one "SMN Error", "SMR Error" or "SMJ Error(k)" for each of its
//    sectors whose first three bytes differ from the expected tag, in sector order;
//  - the stream's end indicator is set exactly when the bytes asked for so far (skipped or read)
//    reach beyond the end of the file.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/frame_reader.h"
#include "common/image_stream.h"
#include "common/layout.h"
#include "common/progress_meter.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using kv9::kFrameBytes;
using kv9::kFrameSectors;
using kv9::kSectorSize;
using kv9::fuzz::fail;
using kv9::fuzz::shown;

constexpr std::size_t kSmallImageLimit = 160 * 1024;
constexpr std::size_t kLargeImageLimit = 1536 * 1024;  // past the stream's 1 MiB block

kv9::fuzz::StdoutSink* console;
std::string image_path;
kv9::ImageStream image;
kv9::SourceFrame frame;
bool show_console = false;  // KV9_FUZZ_SHOW set: the console goes to stderr too

const char* expected_tag(std::size_t sector_in_frame) {
  return sector_in_frame == 0 ? "SMN" : sector_in_frame == 1 ? "SMR" : "SMJ";
}

// The meter's rules, one sector at a time.
struct MeterModel {
  uint32_t frames;
  uint32_t since_mark = 0;
  uint32_t credit = 0;
  int32_t percent = 0;

  void sector(std::string& out) {
    credit += 5;
    since_mark += 1;
    if (since_mark == frames) {
      percent += 10;
      out += std::to_string(percent) + "%";
      since_mark = 0;
      credit = 0;
    } else if (credit >= frames) {
      out += ".";
      credit = 0;
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static kv9::fuzz::StdoutSink sink(true);
  static kv9::fuzz::TempDir dir;
  console = &sink;
  image_path = dir.file("kv9disc1.img");
  show_console = std::getenv("KV9_FUZZ_SHOW") != nullptr;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  kv9::fuzz::InputReader in(data, size);
  const uint8_t mode = in.u8();
  const uint8_t skip_field = in.u8();
  const uint32_t offset_field = in.u32();
  const uint32_t meter_frames = in.u16();
  const uint32_t size_field = in.u24();
  const uint8_t seed = in.u8();

  const bool large = (mode & 0x04) != 0;
  const std::size_t frames_to_read = 1 + (mode & 3);
  const std::size_t frames_to_skip = large ? skip_field % 64 : skip_field % 3;
  const std::size_t file_size = size_field % ((large ? kLargeImageLimit : kSmallImageLimit) + 1);
  uint64_t offset;
  switch (offset_field >> 30) {
    case 0:
    case 1:
      offset = offset_field % (file_size + 1);
      break;
    case 2:
      offset = file_size - std::min<std::size_t>(file_size, offset_field & 0xFFFF);
      break;
    default:
      offset = offset_field;  // anywhere, mostly far beyond the end
      break;
  }

  // The file: filler, then tags at the sector starts from the offset on, as the input asks.
  static std::vector<uint8_t> file;
  file.assign(file_size, 0);
  kv9::fuzz::ByteStream filler{seed * 0x1000193ull + file_size};
  filler.fill(file.data(), file.size());
  const std::size_t sectors = (frames_to_skip + frames_to_read) * kFrameSectors;
  for (std::size_t j = 0; j < sectors; ++j) {
    const uint8_t choice = in.u8();  // 0, the right tag, once the input is used up
    const uint64_t at = offset + j * kSectorSize;
    if (at >= file_size) break;
    uint8_t tag[3];
    std::memcpy(tag, expected_tag(j % kFrameSectors), 3);
    switch (choice & 3) {
      case 0:
        break;
      case 1:
        tag[(choice >> 2) % 3] = static_cast<uint8_t>((choice >> 4) ^ 'J');
        break;
      case 2:
        tag[(choice >> 2) % 3] = 0;
        break;
      default:
        continue;  // the filler's own bytes
    }
    std::memcpy(file.data() + at, tag,
                static_cast<std::size_t>(std::min<uint64_t>(3, file_size - at)));
  }
  kv9::fuzz::write_file(image_path, file.data(), file.size());

  console->clear();
  KV9_FUZZ_CHECK(kv9::open_image(image, image_path.c_str()), "open_image failed on a plain file");
  kv9::position_image(image, offset);
  // Positioning asks for no byte: the end indicator follows the bytes skipped or read since.
  uint64_t asked = offset;
  if (frames_to_skip > 0) {
    kv9::skip_movie(image, static_cast<uint32_t>(frames_to_skip));
    asked += frames_to_skip * kFrameBytes;
  }
  KV9_FUZZ_CHECK(image.ended == (frames_to_skip > 0 && asked > file_size),
                 "after positioning at %llu and skipping %zu frames of a %zu-byte image the end "
                 "indicator is %d",
                 static_cast<unsigned long long>(offset), frames_to_skip, file_size, image.ended);

  kv9::ProgressMeter meter;
  kv9::reset_progress(meter, meter_frames);
  MeterModel model{meter_frames};
  std::string expected;
  for (std::size_t k = 0; k < frames_to_read; ++k) {
    const uint64_t start = asked;
    kv9::read_movie_frame(image, meter, frame);
    asked += kFrameBytes;

    for (std::size_t i = 0; i < kFrameBytes; ++i) {
      const uint64_t at = start + i;
      const uint8_t want = at < file_size ? file[at] : 0xFF;
      if (frame[i] != want) {
        fail("frame %zu (at byte %llu) byte %zu is 0x%02X, the image has 0x%02X", k,
             static_cast<unsigned long long>(start), i, frame[i], want);
      }
    }
    KV9_FUZZ_CHECK(image.ended == (asked > file_size),
                   "after reading up to byte %llu of a %zu-byte image the end indicator is %d",
                   static_cast<unsigned long long>(asked), file_size, image.ended);

    for (std::size_t s = 0; s < kFrameSectors; ++s) model.sector(expected);
    for (std::size_t s = 0; s < kFrameSectors; ++s) {
      if (std::memcmp(frame.data() + s * kSectorSize, expected_tag(s), 3) == 0) continue;
      if (s < 2) {
        expected += std::string(expected_tag(s)) + " Error";
      } else {
        expected += "SMJ Error(" + std::to_string(s - 2) + ")";
      }
    }
  }
  kv9::close_image(image);

  const std::string printed = console->text();
  if (show_console) std::fprintf(stderr, "%s\n", printed.c_str());
  if (printed != expected) {
    const std::size_t at = kv9::fuzz::first_difference(printed, expected);
    fail("console differs at character %zu (meter frame count %u)\n printed: %s\nexpected: %s", at,
         meter_frames, shown(printed.substr(at > 40 ? at - 40 : 0)).c_str(),
         shown(expected.substr(at > 40 ? at - 40 : 0)).c_str());
  }
  return 0;
}
