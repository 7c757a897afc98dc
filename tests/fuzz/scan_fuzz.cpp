// Images made from the fuzz input, scanned by vidscan's block-wise scan and by the plain
// byte-by-byte reference scan: every console byte and every table entry must agree.
//
// Input: a byte for the disc and the tables (built-in or cleared), two for the image size (up
// to 256 KiB, or 1 MiB + that to reach the scanner's reading-block edge), a byte for the filler,
// then operations of four bytes that lay movie headers, frames or stray bytes.
#include <vector>

#include "support/differential.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  kv9::fuzz::Input in{data, size};
  const uint8_t mode = in.u8();
  const std::size_t origin = (mode & 0x10) != 0 ? 0x100000 - 0x10000 : 0;
  static std::vector<uint8_t> img;
  img.assign(origin + in.u16() * 4u, 0);
  const uint8_t fill = in.u8();
  for (uint8_t& b : img) b = fill < 0x80 ? fill : in.u8();
  for (int op = 0; op < 64 && in.more(); ++op) {
    const uint8_t kind = in.u8(), extra = in.u8();
    const std::size_t at = origin + in.u16() * ((kind & 0x80) != 0 ? 1u : 512u);
    // A frame's first three headers: SMN, SMR, SMJ; bytes 6-7 zero in a movie's first frame.
    for (int f = 0; f < 1 + (kind & 7); ++f) {
      for (int s = 0; s < ((kind & 0x40) != 0 ? 1 + extra % 3 : 3); ++s) {
        const uint8_t h[8] = {'S',
                              'M',
                              uint8_t("NRJ"[s]),
                              1,
                              uint8_t(s),
                              9,
                              uint8_t(f > 0 && (kind & 0x20) == 0 ? f : 0),
                              0};
        for (std::size_t i = 0; i < 8; ++i) {
          const std::size_t p = at + f * 20480 + s * 2048 + i;
          if (p < img.size()) img[p] = (kind & 0x18) == 0x18 && i == extra % 8 ? extra : h[i];
        }
      }
    }
  }
  const std::string path = kv9::fuzz::write_temp_file("kv9disc1.img", img.data(), img.size());
  const std::string differs =
      kv9::test::scan_differs(path.c_str(), 1 + (mode & 3), (mode & 4) != 0);
  KV9_CHECK(differs.empty(), "%s", differs.c_str());
  return 0;
}
