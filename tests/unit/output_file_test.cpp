#include "common/output_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "common/stream_container.h"

namespace kv9 {
namespace {

// The stream writers fill an area of memory as they fill a file: here the 44-byte stream header
// ("RIFF", a zero size, "CDXA", 32 zeros) and a zero sector, written out by hand. What does not
// fit is dropped, nothing is written past the area, and the close says that bytes were lost.
TEST(MemoryOutput, KeepsWhatFitsAndSaysWhenMoreWasPut) {
  const std::string whole =
      std::string("RIFF\0\0\0\0CDXA", 12) + std::string(32, '\0') + std::string(2352, '\0');
  static OutputFile out;
  for (const auto& [name, size] : {std::tuple{"exactly", std::size_t{2396}},
                                   {"with room to spare", 3000},
                                   {"the header alone", 44},
                                   {"one byte short of the header", 43}}) {
    std::vector<uint8_t> area(size + 8, 0xA5);
    open_memory_output(out, area.data(), size);
    write_stream_header(out);
    write_zero_sector(out);
    EXPECT_EQ(close_output(out), size >= whole.size()) << name;
    const std::size_t kept = std::min(size, whole.size());
    EXPECT_EQ(std::string(area.begin(), area.begin() + kept), whole.substr(0, kept)) << name;
    EXPECT_TRUE(std::all_of(area.begin() + kept, area.end(), [](uint8_t b) { return b == 0xA5; }))
        << name;
  }
}

}  // namespace
}  // namespace kv9
