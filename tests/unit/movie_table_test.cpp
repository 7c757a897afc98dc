#include "common/movie_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/layout.h"
#include "support/temp_dir.h"
#include "vidscan/address_file_update.h"

namespace kv9 {
namespace {

TEST(MovieTables, BuiltinMoviesLieBackToBackOnEveryDisc) {
  MovieTables t;
  set_builtin_tables(t);
  for (int disc = 1; disc <= kDiscCount; ++disc) {
    for (uint32_t id = 0; id + 1 < movie_count[disc]; ++id) {
      EXPECT_EQ(t.movie_address[disc][id + 1],
                t.movie_address[disc][id] + t.movie_frames[disc][id] * kFrameBytes)
          << "disc " << disc << " id " << id;
    }
    EXPECT_EQ(t.movie_address[disc][0] % kSectorSize, 0u);
  }
  EXPECT_EQ(t.movie_address[1][0], 0x12616800u);
  EXPECT_EQ(t.movie_frames[4][6], 7091u);
}

// Applies the text of an address file over the built-in tables.
MovieTables tables_after(const std::string& text) {
  MovieTables t;
  set_builtin_tables(t);
  std::FILE* f = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), f);
  std::rewind(f);
  apply_address_file(t, f);
  std::fclose(f);
  return t;
}

struct EntryCase {
  const char* name;
  std::string text;
  int disc;
  int id;
  uint32_t address;  // expected afterwards
  uint32_t frames;
};

class AddressFileLines : public testing::TestWithParam<EntryCase> {};

TEST_P(AddressFileLines, ApplyOrIgnore) {
  const EntryCase& c = GetParam();
  const MovieTables t = tables_after(c.text);
  EXPECT_EQ(t.movie_address[c.disc][c.id], c.address);
  EXPECT_EQ(t.movie_frames[c.disc][c.id], c.frames);
}

const std::string kLong(300, 'x');

INSTANTIATE_TEST_SUITE_P(
    Grammar, AddressFileLines,
    testing::Values(
        EntryCase{"Applied", "[kv9disc4.img]\nid=2, address=0x11E62000, frame=0x0010\n", 4, 2,
                  0x11E62000, 16},
        EntryCase{"LaterMoviesNotShifted",
                  "[kv9disc4.img]\nid=2, address=0x11E62000, frame=0x0010\n", 4, 3, 0x11E62000,
                  225},
        EntryCase{"IdAtCountIgnored", "[kv9disc1.img]\nid=31, address=0x00001000, frame=0x0001\n",
                  1, 30, 0x225F2800, 2897},
        EntryCase{"NegativeIdIgnored", "[kv9disc1.img]\nid=-1, address=0x00001000, frame=0x1\n", 1,
                  0, 0x12616800, 326},
        EntryCase{"HugeIdIgnored", "[kv9disc1.img]\nid=99999999999, address=0x1000, frame=0x1\n", 1,
                  0, 0x12616800, 326},
        EntryCase{"BeforeAnySectionIgnored", "id=0, address=0x00001000, frame=0x0001\n", 1, 0,
                  0x12616800, 326},
        EntryCase{"ZeroFramesApplied", "[kv9disc2.img]\nid=5, address=0x00002000, frame=0x0000\n",
                  2, 5, 0x2000, 0},
        EntryCase{"LowerCaseHex", "[kv9disc3.img]\nid=1, address=0x00abcdef, frame=0x0a0b\n", 3, 1,
                  0xABCDEF, 0xA0B},
        EntryCase{"CrLfLineEnds", "[kv9disc3.img]\r\nid=1, address=0x00001000, frame=0x0002\r\n", 3,
                  1, 0x1000, 2},
        EntryCase{"NoFinalLineFeed", "[kv9disc3.img]\nid=1, address=0x00001000, frame=0x0002", 3, 1,
                  0x1000, 2},
        EntryCase{"BlanksAfterCommasOptional", "[kv9disc1.img]\nid=1,address=0x2000,\tframe=0x3\n",
                  1, 1, 0x2000, 3},
        EntryCase{"FrameReadWithFourDigits",
                  "[kv9disc1.img]\nid=1, address=0x2000, frame=0x12345\n", 1, 1, 0x2000, 0x1234},
        EntryCase{"NineAddressDigitsIgnored",
                  "[kv9disc1.img]\nid=1, address=0x123456789, frame=0x0001\n", 1, 1, 0x12C74800,
                  199},
        EntryCase{"MissingFieldIgnored", "[kv9disc1.img]\nid=1, address=0x00002000\n", 1, 1,
                  0x12C74800, 199},
        EntryCase{"SectionWithOtherExtension",
                  "[kv9disc2.iso]\nid=0, address=0x00003000, frame=0x1\n", 2, 0, 0x3000, 1},
        EntryCase{"UpperCaseSectionKeepsPreviousDisc",
                  "[kv9disc1.img]\n[KV9DISC2.IMG]\nid=0, address=0x00003000, frame=0x1\n", 1, 0,
                  0x3000, 1},
        EntryCase{"SectionOutsideDiscsDisablesEntries",
                  "[kv9disc1.img]\n[kv9disc7.img]\nid=0, address=0x00003000, frame=0x1\n", 1, 0,
                  0x12616800, 326},
        EntryCase{"AddressAboveTwoGiB", "[kv9disc1.img]\nid=0, address=0xFFFFF800, frame=0x1\n", 1,
                  0, 0xFFFFF800, 1},
        EntryCase{
            "LongLineReadInPieces",
            "[kv9disc1.img]\n" + std::string(255, 'x') + "id=0, address=0x00004000, frame=0x1\n", 1,
            0, 0x4000, 1},
        EntryCase{"BinaryJunkIgnored",
                  std::string("[kv9disc1.img]\n\x01\xff\x00id=0, address=0x4000, frame=0x1\n", 41) +
                      kLong,
                  1, 0, 0x12616800, 326}),
    [](const testing::TestParamInfo<EntryCase>& i) { return std::string(i.param.name); });

TEST(AddressFile, WrittenBuiltinTablesReadBackExactly) {
  MovieTables builtin;
  set_builtin_tables(builtin);
  std::FILE* f = std::tmpfile();
  ASSERT_TRUE(write_address_lines(builtin, f));
  std::rewind(f);
  MovieTables read;
  clear_tables(read);
  apply_address_file(read, f);
  std::fclose(f);
  EXPECT_EQ(std::memcmp(&read, &builtin, sizeof read), 0);
}

// Only a file that does not exist counts as absent; one that exists but cannot be read whole
// leaves the tables as they were, so that nothing half-read is ever used.
TEST(AddressFile, LoadTellsAbsentFromUnreadable) {
  test::TempDir dir;
  std::filesystem::create_directory(dir / "directory");
  const struct {
    std::string path;
    AddressFileLoad want;
  } cases[] = {{(dir / "kv9cdadr.ini").string(), AddressFileLoad::kAbsent},
               {(dir / "directory").string(), AddressFileLoad::kUnreadable},
               {"/proc/self/mem", AddressFileLoad::kUnreadable}};  // reading offset 0 fails
  MovieTables builtin;
  set_builtin_tables(builtin);
  for (const auto& c : cases) {
    MovieTables t = builtin;
    EXPECT_EQ(load_address_file(t, c.path.c_str()), c.want) << c.path;
    EXPECT_EQ(std::memcmp(&t, &builtin, sizeof t), 0) << c.path;
  }
}

}  // namespace
}  // namespace kv9
