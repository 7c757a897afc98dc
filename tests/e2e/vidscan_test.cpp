// vidscan run for real: its console, the address file it leaves, its exit status.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace kv9 {
namespace {

using test::read_file;
using test::run_tool;
using test::write_file;

const std::string kTitle = "[Karvelon Tidewater CD-ROM movie address information]\n";

// Frames with their ten headers at sector `at` of `img`; bytes 6-7 zero in a first frame.
void put_frames(std::string& img, std::size_t at, std::initializer_list<bool> first) {
  for (bool f : first) {
    for (int s = 0; s < 10; ++s) {
      const char* tag = s == 0 ? "SMN" : s == 1 ? "SMR" : "SMJ";
      const char h[8] = {tag[0], tag[1], tag[2], 1, char(s), 9, char(f ? 0 : 1), 0};
      std::memcpy(img.data() + 2048 * (at + s), h, 8);
    }
    at += 10;
  }
}

// 44 sectors: two movies of two frames, from sectors 2 and 22.
TEST(Vidscan, WritesTheMoviesItFinds) {
  test::TempDir dir;
  std::string img(44 * 2048, '\0');
  put_frames(img, 2, {true, false, true, false});
  write_file(dir / "kv9disc1.img", img);
  const std::string file = kTitle +
                           "[kv9disc1.img]\nid=0, address=0x00001000, frame=0x0002\nid=1, "
                           "address=0x0000B000, frame=0x0002\n[kv9disc2.img]\n[kv9disc3.img]\n"
                           "[kv9disc4.img]\n";
  for (const char* missing : {"file kv9cdadr.ini is not exist\n", ""}) {  // a second run
    const auto r = run_tool(dir.path(), "vidscan", {"kv9disc1.img"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output,
              missing + std::string("Now searching... kv9disc1.img\n\n Found! ID=0: "
                                    "0x00001000, 0x2 frame\n Found! ID=1: 0x0000B000, 0x2 "
                                    "frame\nwrite kv9cdadr.ini file\n"));
    EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), file);
  }
  EXPECT_EQ(std::filesystem::status(dir / "kv9cdadr.ini").permissions() &
                std::filesystem::perms::others_read,
            std::filesystem::perms::others_read);
}

// A scan of disc 3 then of disc 1 keeps disc 3, and disc 3's id 2 from an earlier, longer scan;
// malformed lines do not survive. An image that cannot be opened rewrites what was loaded.
TEST(Vidscan, MergesItsDiscIntoTheFile) {
  test::TempDir dir;
  std::string disc3(3 * 20480, '\0');
  put_frames(disc3, 0, {true, true});
  write_file(dir / "kv9disc3.img", disc3);
  write_file(dir / "kv9disc1.img", std::string(2048, 'x'));
  write_file(dir / "kv9cdadr.ini",
             kTitle + "[kv9disc3.img]\r\nid=2, address=0x00abc000, frame=0x12\r\n" +
                 "junk line\nid=, address=0x1, frame=0x1\n");
  EXPECT_EQ(run_tool(dir.path(), "vidscan", {"kv9disc3.img"}).status, 0);
  EXPECT_EQ(run_tool(dir.path(), "vidscan", {"./kv9disc1.img", "ignored"}).status, 0);
  const std::string merged =
      kTitle +
      "[kv9disc1.img]\n[kv9disc2.img]\n[kv9disc3.img]\nid=0, "
      "address=0x00000000, frame=0x0001\nid=1, address=0x00005000, "
      "frame=0x0001\nid=2, address=0x00ABC000, frame=0x0012\n[kv9disc4.img]\n";
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), merged);
  const auto missing = run_tool(dir.path(), "vidscan", {"kv9disc2.img"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.output, "cannot open file kv9disc2.img\nwrite kv9cdadr.ini file\n");
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), merged);
}

}  // namespace
}  // namespace kv9
