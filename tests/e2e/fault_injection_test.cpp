// Faults from outside, on every tool: unreadable images and address files, images that end too
// soon or come through a pipe, outputs that cannot be created or written, an address file that
// cannot be written, whose writer is killed, or that several scans write at once. Each must be
// reported, end with status 1, and leave no output passing for complete and no entry lost.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "support/movie_files.h"

namespace kv9 {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::run_tool;

class EveryTool : public testing::TestWithParam<const char*> {};

std::set<std::string> names_in(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// Runs a tool as an unprivileged user, so that file permissions count also where the tests
// run as root. Empty when that is impossible here.
std::optional<test::RunResult> run_unprivileged(const fs::path& dir, const std::string& tool,
                                                const std::vector<std::string>& args) {
  if (::geteuid() != 0) return run_tool(dir, tool, args);
  if (!test::have_program("setpriv")) return std::nullopt;
  std::vector<std::string> all = {"--reuid=65534", "--regid=65534", "--clear-groups",
                                  std::string(KV9_BIN_DIR) + "/" + tool};
  all.insert(all.end(), args.begin(), args.end());
  auto r = test::run_program(dir, "setpriv", all);
  // A build folder the unprivileged user cannot reach gives no run of the tool at all.
  if (r.status == 126 || r.status == 127) return std::nullopt;
  return r;
}

TEST_P(EveryTool, ImageWhoseFirstReadFailsCannotBeOpened) {
  test::TempDir dir;
  // Reading /proc/self/mem at offset 0 fails with an I/O error.
  fs::create_symlink("/proc/self/mem", dir / "kv9disc1.img");
  const auto r = run_tool(dir.path(), GetParam(), {"kv9disc1.img", "0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("cannot open file kv9disc1.img\n"), std::string::npos) << r.output;
}

// An address file that exists but cannot be read stops the run before the image is opened:
// nothing is written, and the file keeps every entry it holds.
TEST_P(EveryTool, UnreadableAddressFileStopsTheRun) {
  for (const bool as_directory : {true, false}) {
    test::TempDir dir;
    test::write_disc(dir.path(), test::back_to_back(1, {2}), !as_directory);
    if (as_directory) {
      fs::create_directory(dir / "kv9cdadr.ini");
    } else {
      fs::permissions(dir / "kv9cdadr.ini", fs::perms::none);
      fs::permissions(dir.path(), fs::perms::all);
    }
    const auto before = names_in(dir.path());
    const auto r = as_directory ? std::optional(run_tool(dir.path(), GetParam(), {"kv9disc1.img"}))
                                : run_unprivileged(dir.path(), GetParam(), {"kv9disc1.img"});
    if (!r) {
      std::cout << "[ SKIPPED  ] no unprivileged user to run as\n";
      continue;
    }
    EXPECT_EQ(r->status, 1) << as_directory;
    EXPECT_EQ(r->output, "cannot read file kv9cdadr.ini\n") << as_directory;
    EXPECT_EQ(names_in(dir.path()), before) << as_directory;
  }
}

// A pipe named like an image (a decompressor feeding it) gives exactly what the file gives.
TEST_P(EveryTool, ImageThroughAPipeGivesWhatTheFileGives) {
  test::TempDir file_dir, pipe_dir;
  const auto layout = test::back_to_back(2, {3, 2}, 40);  // the first movie lies 80 KiB in
  const bool scanner = std::string(GetParam()) == "vidscan";
  test::write_disc(file_dir.path(), layout, !scanner);
  test::write_disc(pipe_dir.path(), layout, !scanner);
  fs::rename(pipe_dir / "kv9disc2.img", pipe_dir / "source");
  ASSERT_EQ(::mkfifo((pipe_dir / "kv9disc2.img").c_str(), 0600), 0);
  std::thread writer([&] {
    test::run_program(pipe_dir.path(), "timeout", {"60", "sh", "-c", "cat source > kv9disc2.img"});
  });
  const auto from_pipe = run_tool(pipe_dir.path(), GetParam(), {"kv9disc2.img", "0-1"});
  writer.join();
  const auto from_file = run_tool(file_dir.path(), GetParam(), {"kv9disc2.img", "0-1"});
  ASSERT_EQ(from_file.status, 0) << from_file.output;
  EXPECT_EQ(from_pipe.status, 0);
  EXPECT_EQ(from_pipe.output, from_file.output);
  for (const auto& name : names_in(file_dir.path())) {
    if (name != "kv9disc2.img") {
      EXPECT_TRUE(read_file(pipe_dir / name) == read_file(file_dir / name)) << name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Tools, EveryTool,
                         testing::Values("vidscan", "vidsound", "vidcopy", "vidconv"),
                         [](const auto& i) { return std::string(i.param); });

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

INSTANTIATE_TEST_SUITE_P(Tools, EveryExtractor, testing::Values("vidsound", "vidcopy", "vidconv"),
                         [](const auto& i) { return std::string(i.param); });

void small_disc(const fs::path& dir) {
  test::write_disc(dir, test::back_to_back(1, {2}), false);
}

// A shell command run in `dir` with the tool folder on the path.
test::RunResult shell(const fs::path& dir, const std::string& command) {
  return test::run_program(dir, "sh", {"-c", "PATH=" KV9_BIN_DIR ":$PATH; " + command});
}

TEST(VidscanAddressFile, FullDiskKeepsTheOldFile) {
  test::TempDir dir;
  small_disc(dir.path());
  test::write_file(dir / "kv9cdadr.ini", "old file\n");
  // No file may grow beyond 0 bytes: every write fails as on a full disk.
  const auto r = shell(dir.path(), "trap '' XFSZ; ulimit -f 0; vidscan kv9disc1.img");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("write kv9cdadr.ini file\ncannot write file kv9cdadr.ini\n"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), "old file\n");
  EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"kv9cdadr.ini", "kv9disc1.img"}));
}

TEST(VidscanAddressFile, KilledWhileWritingKeepsTheOldFileAndBlocksNoLaterRun) {
  test::TempDir dir;
  small_disc(dir.path());
  test::write_file(dir / "kv9cdadr.ini", "old file\n");
  // The first write beyond the file-size limit kills the process.
  const auto killed = shell(dir.path(), "ulimit -f 0; exec vidscan kv9disc1.img");
  EXPECT_NE(killed.status, 0);
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), "old file\n");
  EXPECT_EQ(run_tool(dir.path(), "vidscan", {"kv9disc1.img"}).status, 0);
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), test::address_file_for(test::back_to_back(1, {2})));
}

TEST(VidscanAddressFile, FolderThatCannotBeWrittenKeepsTheOldFile) {
  test::TempDir dir;
  small_disc(dir.path());
  test::write_file(dir / "kv9cdadr.ini", "old file\n");
  const auto r = run_unprivileged(dir.path(), "vidscan", {"kv9disc1.img"});
  if (!r) GTEST_SKIP() << "no unprivileged user to run as";
  EXPECT_EQ(r->status, 1);
  EXPECT_NE(r->output.find("\ncannot open file kv9cdadr.ini\n"), std::string::npos) << r->output;
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), "old file\n");
}

// Four scans in one folder at once end with every disc's entries, run after run.
TEST(VidscanAddressFile, ConcurrentScansKeepEveryDisc) {
  test::TempDir dir;
  std::vector<builder::DiscLayout> discs;
  for (int d = 1; d <= 4; ++d) {
    discs.push_back(test::back_to_back(d, {uint32_t(d), 2}));
    test::write_disc(dir.path(), discs.back(), false);
  }
  for (int round = 0; round < 5; ++round) {
    fs::remove(dir / "kv9cdadr.ini");
    shell(dir.path(), "for d in 1 2 3 4; do vidscan kv9disc$d.img >/dev/null & done; wait");
    EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), test::address_file_for(discs)) << round;
  }
}

// A movie of more frames than the file can keep (its count has at most four hex digits) is
// announced but not stored; the movies after it are.
TEST(VidscanAddressFile, MovieTooLongForTheFileIsNotStored) {
  test::TempDir dir;
  const uint32_t frames = 0x10001;
  const uint64_t second = uint64_t{frames} * kFrameBytes;
  {
    // Sparse: only the headers the scan reads are written.
    std::FILE* f = std::fopen((dir / "kv9disc4.img").c_str(), "wb");
    auto put = [&](uint64_t at, const char* tag, uint8_t sector, uint8_t counter) {
      const char h[8] = {tag[0], tag[1], tag[2], 1, char(sector), 9, char(counter), 0};
      ASSERT_EQ(::pwrite(fileno(f), h, 8, off_t(at)), 8);
    };
    for (const uint64_t start : {uint64_t{0}, second}) {
      put(start, "SMN", 0, 0);
      put(start + 2048, "SMR", 1, 0);
      put(start + 4096, "SMJ", 2, 0);
    }
    for (uint32_t l = 1; l < frames; ++l) put(uint64_t{l} * kFrameBytes, "SMN", 0, 1);
    ASSERT_EQ(::ftruncate(fileno(f), off_t(second + kFrameBytes)), 0);
    std::fclose(f);
  }
  const auto r = run_tool(dir.path(), "vidscan", {"kv9disc4.img"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("\n Found! ID=0: 0x00000000, 0x10001 frame (not stored: more than "
                          "65535 frames)\n Found! ID=1: 0x50005000, 0x1 frame\n"),
            std::string::npos);
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"),
            "[Karvelon Tidewater CD-ROM movie address information]\n[kv9disc1.img]\n"
            "[kv9disc2.img]\n[kv9disc3.img]\n[kv9disc4.img]\nid=1, address=0x50005000, "
            "frame=0x0001\n");
}

}  // namespace
}  // namespace kv9
