// Images made from the fuzz input, scanned by vidscan's block-wise scan and by the plain
// byte-by-byte reference scan: every console byte and every table entry must agree.
//
// Input: the disc and the tables (built-in or cleared), the image size (up to 256 KiB, from 0
// or, for one input in eight, from just before the scanner's 1 MiB reading-block edge), its
// filler, then operations that lay the headers of frames, whole or in part, a near miss of one
// byte at times.
#include <string>

#include "support/differential.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const uint8_t mode = in.ConsumeIntegral<uint8_t>();
  const std::size_t origin = (mode & 0x70) == 0x70 ? 0x100000 - 0x10000 : 0;
  std::string img(origin + in.ConsumeIntegral<uint16_t>() * 4u,
                  char(in.ConsumeIntegral<uint8_t>()));
  while (in.remaining_bytes() > 0) {
    const uint8_t kind = in.ConsumeIntegral<uint8_t>(), extra = in.ConsumeIntegral<uint8_t>();
    const std::size_t at = origin + in.ConsumeIntegral<uint16_t>() * ((kind & 0x80) ? 1u : 512u);
    for (int f = 0; f < 1 + (kind & 7); ++f) {
      for (int s = 0; s < ((kind & 0x40) != 0 ? 1 + extra % 3 : 3); ++s) {
        // SMN, SMR, SMJ; bytes 6-7 zero in a movie's first frame.
        std::string h = std::string("SM") + "NRJ"[s] + '\1' + char(s) + '\t' +
                        char(f > 0 && (kind & 0x20) == 0 ? f : 0) + '\0';
        if ((kind & 0x18) == 0x18) h[extra % 8] = char(extra);
        const std::size_t p = at + f * 20480 + s * 2048;
        if (p < img.size()) img.replace(p, 8, h, 0, img.size() - p);
      }
    }
  }
  const std::string path = kv9::fuzz::write_temp_file("kv9disc1.img", img.data(), img.size());
  const std::string differs = kv9::test::scan_differs(path.c_str(), 1 + (mode & 3), mode & 4);
  kv9::fuzz::check(differs.empty(), differs);
  return 0;
}
