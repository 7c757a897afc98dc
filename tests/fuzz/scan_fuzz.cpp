// Images made from the fuzz input, scanned by vidscan's block-wise scan and by the plain
// byte-by-byte reference scan: every console byte and every table entry must agree.
//
// Input: the disc and the tables (built-in or cleared), the image size (up to 64 KiB, a few
// frames), its filler, then operations that lay the headers of frames, whole or in part, a near
// miss of one byte at times, anywhere in the image or on a 512-byte boundary. For one input in
// 32 all this lies 32 KiB before the scanner's 1 MiB reading-block edge, behind a movie of 49
// frames: walking it, the reference skips the bytes it does not compare, which keeps such
// inputs quick. The image is held in memory and scanned through its /proc/self/fd path.
#include <string>

#include "support/differential.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using kv9::test::put_frame_headers;
  FuzzedDataProvider in(data, size);
  const uint8_t mode = in.ConsumeIntegral<uint8_t>();
  const bool at_block_edge = (mode & 0xF8) == 0xF8;
  const std::size_t origin = at_block_edge ? 0x100000 - 0x8000 : 0;
  static std::string img;  // kept from input to input: no allocation of a megabyte each time
  img.assign(origin + in.ConsumeIntegral<uint16_t>(), char(in.ConsumeIntegral<uint8_t>()));
  for (int f = 0; at_block_edge && f < 49; ++f) put_frame_headers(img, f * 20480u, 3, uint8_t(f));
  while (in.remaining_bytes() > 0) {
    const uint8_t kind = in.ConsumeIntegral<uint8_t>(), extra = in.ConsumeIntegral<uint8_t>();
    std::size_t at = origin + in.ConsumeIntegralInRange<std::size_t>(0, img.size() - origin);
    if ((kind & 0x80) == 0) at -= at % 512;
    for (int f = 0; f <= (kind & 7); ++f) {  // bytes 6-7 of later frames 0 or the frame's index
      put_frame_headers(img, at + f * 20480u, (kind & 0x40) != 0 ? 1 + extra % 3 : 3,
                        (kind & 0x20) != 0 ? 0 : uint8_t(f), (kind & 0x18) == 0x18 ? extra % 8 : 8,
                        char(extra));
    }
  }
  const std::string path = kv9::fuzz::memory_file(img.data(), img.size());
  const std::string differs = kv9::test::scan_differs(path.c_str(), 1 + (mode & 3), mode & 4);
  kv9::fuzz::check(differs.empty(), differs);
  return 0;
}
