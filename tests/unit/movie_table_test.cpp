#include "common/movie_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kv9 {
namespace {

// The tables as the discs carry them: every disc's movie count, its first and last movie, and
// its movies back to back, which with those pins every address.
TEST(MovieTables, BuiltinTablesAreTheDiscs) {
  // Per disc: movie count, first movie's address and frames, last movie's address and frames.
  const uint32_t discs[5][5] = {{},
                                {31, 0x12616800, 326, 0x225F2800, 2897},
                                {34, 0x165FD000, 453, 0x2157F000, 1186},
                                {32, 0x19632800, 197, 0x230EC800, 995},
                                {7, 0x0F897000, 390, 0x1B390000, 7091}};
  MovieTables t;
  set_builtin_tables(t);
  for (int disc = 1; disc <= 4; ++disc) {
    const uint32_t* d = discs[disc];
    ASSERT_EQ(movie_count[disc], d[0]) << disc;
    const auto &a = t.movie_address[disc], &f = t.movie_frames[disc];
    EXPECT_EQ((std::vector{a[0], f[0], a[d[0] - 1], f[d[0] - 1]}), std::vector(d + 1, d + 5));
    for (uint32_t id = 0; id + 1 < d[0]; ++id)
      EXPECT_EQ(a[id + 1], a[id] + f[id] * 20480) << disc << " " << id;
  }
}

// A line of an address file read over the built-in tables, and the entry (disc, id) after it.
struct Line {
  const char* name;
  std::string text;
  int disc, id;
  uint32_t address, frames;
};
class AddressFileLine : public testing::TestWithParam<Line> {};

TEST_P(AddressFileLine, IsAppliedOrIgnored) {
  const Line& c = GetParam();
  MovieTables t;
  set_builtin_tables(t);
  std::FILE* f = std::tmpfile();
  std::fputs(c.text.c_str(), f);
  std::rewind(f);
  EXPECT_TRUE(apply_address_file(t, f));
  std::fclose(f);
  EXPECT_EQ(t.movie_address[c.disc][c.id], c.address);
  EXPECT_EQ(t.movie_frames[c.disc][c.id], c.frames);
}

const std::string k1 = "[kv9disc1.img]\n", k4 = "[kv9disc4.img]\n";
// clang-format off
INSTANTIATE_TEST_SUITE_P(Grammar, AddressFileLine, testing::Values(
    Line{"Applied", k4 + "id=2, address=0x11E62000, frame=0x0010\n", 4, 2, 0x11E62000, 16},
    Line{"LaterNotShifted", k4 + "id=2, address=0x1E62000, frame=0x1\n", 4, 3, 0x11E62000, 225},
    Line{"IdAtCountIgnored", k1 + "id=31, address=0x1000, frame=0x1\n", 1, 31, 0, 0},
    Line{"NegativeIdIgnored", k1 + "id=-1, address=0x1000, frame=0x1\n", 1, 0, 0x12616800, 326},
    Line{"HugeIdIgnored", k1 + "id=99999999999, address=0x1, frame=0x1\n", 1, 0, 0x12616800, 326},
    Line{"BeforeAnySectionIgnored", "id=0, address=0x1000, frame=0x1\n", 1, 0, 0x12616800, 326},
    Line{"ZeroFramesApplied", "[kv9disc2.img]\nid=5, address=0x2000, frame=0x0\n", 2, 5, 0x2000, 0},
    Line{"LowerCaseHex", k1 + "id=1, address=0x00abcdef, frame=0x0a0b\n", 1, 1, 0xABCDEF, 0xA0B},
    Line{"CrLfNoLastLineFeed", "[kv9disc3.img]\r\nid=1, address=0x10, frame=0x2", 3, 1, 0x10, 2},
    Line{"BlanksAfterCommasOptional", k1 + "id=1,address=0x2000,\tframe=0x3\n", 1, 1, 0x2000, 3},
    Line{"BlanksAfter0x", k1 + "id=1, address=0x  2000, frame=0x \t3\n", 1, 1, 0x2000, 3},
    Line{"FourFrameDigits", k1 + "id=1, address=0x2000, frame=0x12345\n", 1, 1, 0x2000, 0x1234},
    Line{"NineAddressDigits", k1 + "id=1, address=0x123456789, frame=0x1\n", 1, 1, 0x12C74800, 199},
    Line{"MissingFieldIgnored", k1 + "id=1, address=0x00002000\n", 1, 1, 0x12C74800, 199},
    Line{"OtherExtension", "[kv9disc2.iso]\nid=0, address=0x3000, frame=0x1\n", 2, 0, 0x3000, 1},
    Line{"SignedSection", "[kv9disc+2.img]\nid=0, address=0x3000, frame=0x1\n", 2, 0, 0x3000, 1},
    Line{"UpperCaseSection", k1 + "[KV9DISC2.IMG]\nid=0, address=0x3, frame=0x1\n", 1, 0, 0x3, 1},
    Line{"DiscSeven", k1 + "[kv9disc7.img]\nid=0, address=0x3, frame=0x1\n", 1, 0, 0x12616800, 326},
    Line{"AddressAboveTwoGiB", k1 + "id=0, address=0xFFFFF800, frame=0x1\n", 1, 0, 0xFFFFF800, 1},
    Line{"LongLine", k1 + std::string(255, 'x') + "id=0, address=0x4, frame=0x1\n", 1, 0, 4, 1}),
    [](const auto& i) { return std::string(i.param.name); });
// clang-format on

}  // namespace
}  // namespace kv9
