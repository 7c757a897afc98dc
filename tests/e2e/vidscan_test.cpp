// vidscan run for real: console output, the address file it leaves, its exit status.
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

void put_frame(std::string& img, std::size_t at, bool first) {
  for (int s = 0; s < 10; ++s) {
    const char* tag = s == 0 ? "SMN" : s == 1 ? "SMR" : "SMJ";
    const char h[8] = {tag[0], tag[1], tag[2], 1, char(s), 9, char(first ? 0 : 1), 0};
    std::memcpy(img.data() + at + 2048 * s, h, 8);
  }
}

// The worked example: 44 sectors, two movies of two frames each.
std::string worked_example() {
  std::string img(44 * 2048, '\0');
  put_frame(img, 2 * 2048, true);
  put_frame(img, 12 * 2048, false);
  put_frame(img, 22 * 2048, true);
  put_frame(img, 32 * 2048, false);
  return img;
}

TEST(Vidscan, WorkedExampleWritesTheAddressFile) {
  test::TempDir dir;
  write_file(dir / "kv9disc1.img", worked_example());
  const auto r = run_tool(dir.path(), "vidscan", {"kv9disc1.img"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(
      r.output,
      "file kv9cdadr.ini is not exist\nNow searching... kv9disc1.img\n\n Found! ID=0: "
      "0x00001000, 0x2 frame\n Found! ID=1: 0x0000B000, 0x2 frame\nwrite kv9cdadr.ini file\n");
  EXPECT_EQ(
      read_file(dir / "kv9cdadr.ini"),
      kTitle +
          "[kv9disc1.img]\nid=0, address=0x00001000, frame=0x0002\nid=1, "
          "address=0x0000B000, frame=0x0002\n[kv9disc2.img]\n[kv9disc3.img]\n[kv9disc4.img]\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "kv9cdadr.ini.new"));
  // A second run reproduces the same file.
  const std::string first = read_file(dir / "kv9cdadr.ini");
  EXPECT_EQ(run_tool(dir.path(), "vidscan", {"kv9disc1.img"}).status, 0);
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), first);
}

TEST(Vidscan, RunsOverTwoDiscsMerge) {
  test::TempDir dir;
  std::string disc3(3 * 20480, '\0');
  put_frame(disc3, 0, true);
  put_frame(disc3, 20480, true);
  write_file(dir / "kv9disc3.img", disc3);
  write_file(dir / "kv9disc1.img", worked_example());
  // An earlier, longer scan of disc 3 left id 2; entries of malformed lines do not survive.
  write_file(dir / "kv9cdadr.ini",
             kTitle + "[kv9disc3.img]\r\nid=2, address=0x00abc000, frame=0x12\r\n" +
                 "junk line\nid=, address=0x1, frame=0x1\n");
  EXPECT_EQ(run_tool(dir.path(), "vidscan", {"kv9disc3.img"}).status, 0);
  EXPECT_EQ(run_tool(dir.path(), "vidscan", {"./kv9disc1.img", "ignored"}).status, 0);
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"),
            kTitle +
                "[kv9disc1.img]\nid=0, address=0x00001000, frame=0x0002\nid=1, "
                "address=0x0000B000, frame=0x0002\n[kv9disc2.img]\n[kv9disc3.img]\nid=0, "
                "address=0x00000000, frame=0x0001\nid=1, address=0x00005000, frame=0x0001\nid=2, "
                "address=0x00ABC000, frame=0x0012\n[kv9disc4.img]\n");
}

TEST(Vidscan, UnreadableImagesRewriteTheLoadedFileAndFail) {
  test::TempDir dir;
  const std::string loaded = kTitle +
                             "[kv9disc1.img]\n[kv9disc2.img]\nid=3, address=0x00001000, "
                             "frame=0x0001\n[kv9disc3.img]\n[kv9disc4.img]\n";
  write_file(dir / "kv9cdadr.ini", loaded);
  auto missing = run_tool(dir.path(), "vidscan", {"kv9disc1.img"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.output, "cannot open file kv9disc1.img\nwrite kv9cdadr.ini file\n");
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), loaded);

  std::filesystem::create_directory(dir / "kv9disc2.img");
  auto directory = run_tool(dir.path(), "vidscan", {"kv9disc2.img"});
  EXPECT_EQ(directory.status, 1);
  EXPECT_EQ(directory.output, "cannot open file kv9disc2.img\nwrite kv9cdadr.ini file\n");
}

TEST(Vidscan, EmptyImageFindsNothing) {
  test::TempDir dir;
  write_file(dir / "kv9disc4.img", "");
  const auto r = run_tool(dir.path(), "vidscan", {"kv9disc4.img"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(
      r.output,
      "file kv9cdadr.ini is not exist\nNow searching... kv9disc4.img\n\nwrite kv9cdadr.ini file\n");
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"),
            kTitle + "[kv9disc1.img]\n[kv9disc2.img]\n[kv9disc3.img]\n[kv9disc4.img]\n");
}

}  // namespace
}  // namespace kv9
