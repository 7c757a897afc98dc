// Faults from outside, on every tool: unreadable images, images that end too soon, outputs
// that cannot be created or written, an address file that cannot be written or whose writer is
// killed. Each must be reported, end with status 1, and leave no output passing for complete.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/movie_files.h"

namespace kv9 {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::run_tool;

class EveryTool : public testing::TestWithParam<const char*> {};

TEST_P(EveryTool, ImageWhoseFirstReadFailsCannotBeOpened) {
  test::TempDir dir;
  // Reading /proc/self/mem at offset 0 fails with an I/O error.
  fs::create_symlink("/proc/self/mem", dir / "kv9disc1.img");
  const auto r = run_tool(dir.path(), GetParam(), {"kv9disc1.img", "0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("cannot open file kv9disc1.img\n"), std::string::npos) << r.output;
}

INSTANTIATE_TEST_SUITE_P(Tools, EveryTool,
                         testing::Values("vidscan", "vidsound", "vidcopy", "vidconv"));

class EveryExtractor : public testing::TestWithParam<const char*> {};

// The image ends inside the first movie of a range of two: both movies are written at their
// full length and both are reported.
TEST_P(EveryExtractor, ImageEndingInsideTheFirstMovie) {
  test::TempDir dir;
  auto layout = test::back_to_back(2, {3, 2});
  layout.cut_at_byte = builder::movie_address(layout.movies[0]) + kFrameBytes + 7;
  test::write_disc(dir.path(), layout);
  const auto r = run_tool(dir.path(), GetParam(), {"kv9disc2.img", "0-1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("image kv9disc2.img ends before movie 200 ends\n"), std::string::npos);
  EXPECT_NE(r.output.find("image kv9disc2.img ends before movie 201 ends\n"), std::string::npos);
}

// A full disk midway through the second movie of three: the others are complete.
TEST_P(EveryExtractor, WriteFailureMidwayLeavesTheOtherMoviesWhole) {
  test::TempDir dir, clean;
  const auto layout = test::back_to_back(3, {2, 40, 3});
  test::write_disc(dir.path(), layout);
  test::write_disc(clean.path(), layout);
  ASSERT_EQ(run_tool(clean.path(), GetParam(), {"kv9disc3.img", "0-2"}).status, 0);
  const std::string tool = GetParam();
  const std::string prefix = tool == "vidconv" ? "kv9x" : "kv9_";
  const std::string ext = tool == "vidsound" ? ".wav" : ".str";
  fs::create_symlink("/dev/full", dir / (prefix + "301" + ext));
  const auto r = run_tool(dir.path(), GetParam(), {"kv9disc3.img", "0-2"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("cannot write file " + prefix + "301" + ext + "\n"), std::string::npos);
  for (const char* id : {"300", "302"}) {
    EXPECT_TRUE(read_file(dir / (prefix + id + ext)) == read_file(clean / (prefix + id + ext)));
  }
}

INSTANTIATE_TEST_SUITE_P(Tools, EveryExtractor, testing::Values("vidsound", "vidcopy", "vidconv"));

std::string small_disc(const fs::path& dir) {
  const auto layout = test::back_to_back(1, {2});
  test::write_disc(dir, layout, false);
  return test::address_file_for(layout);
}

TEST(VidscanAddressFile, FullDiskKeepsTheOldFile) {
  test::TempDir dir;
  small_disc(dir.path());
  test::write_file(dir / "kv9cdadr.ini", "old file\n");
  fs::create_symlink("/dev/full", dir / "kv9cdadr.ini.new");
  const auto r = run_tool(dir.path(), "vidscan", {"kv9disc1.img"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("write kv9cdadr.ini file\ncannot write file kv9cdadr.ini\n"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), "old file\n");
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "kv9cdadr.ini.new")));
}

TEST(VidscanAddressFile, KilledWhileWritingKeepsTheOldFile) {
  test::TempDir dir;
  small_disc(dir.path());
  test::write_file(dir / "kv9cdadr.ini", "old file\n");
  // The new file is a pipe nobody reads: vidscan blocks on it and is killed there.
  ASSERT_EQ(test::run_program(dir.path(), "mkfifo", {"kv9cdadr.ini.new"}).status, 0);
  const auto r =
      test::run_program(dir.path(), "timeout",
                        {"-s", "KILL", "2", std::string(KV9_BIN_DIR) + "/vidscan", "kv9disc1.img"});
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), "old file\n");
}

}  // namespace
}  // namespace kv9
