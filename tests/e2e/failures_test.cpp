// Faults from outside, on every tool: images that cannot be opened, end too soon or come
// through a pipe; address files that cannot be read, written, or that several scans write at
// once; outputs that cannot be created or written; movies that do not lie back to back. Each is
// reported, ends with status 1, and leaves no output passing for complete and no entry lost.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
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
  std::vector<std::string> all = {"--reuid=65534", "--regid=65534", "--clear-groups",
                                  std::string(KV9_BIN_DIR) + "/" + tool};
  all.insert(all.end(), args.begin(), args.end());
  auto r = test::run_program(dir, "setpriv", all);
  if (r.status == 126 || r.status == 127) return std::nullopt;  // no setpriv, or no way in
  return r;
}

// A shell command run in `dir` with the tools on the path.
test::RunResult shell(const fs::path& dir, const std::string& command) {
  return test::run_program(dir, "sh", {"-c", "PATH=" KV9_BIN_DIR ":$PATH; " + command});
}

class EveryTool : public testing::TestWithParam<const char*> {};

// A missing image, a directory, a file whose first byte cannot be read (/proc/self/mem).
TEST_P(EveryTool, ImageThatCannotBeOpenedIsReported) {
  test::TempDir dir;
  fs::create_directory(dir / "kv9disc2.img");
  fs::create_symlink("/proc/self/mem", dir / "kv9disc3.img");
  for (const char* image : {"kv9disc1.img", "kv9disc2.img", "kv9disc3.img"}) {
    const auto r = run_tool(dir.path(), GetParam(), {image, "0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(std::string("cannot open file ") + image + "\n"), std::string::npos);
  }
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
      std::printf("[ SKIPPED  ] no unprivileged user to run as\n");
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
  std::thread writer([&] { shell(pipe_dir.path(), "timeout 60 cat source > kv9disc2.img"); });
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

INSTANTIATE_TEST_SUITE_P(Tools, EveryTool, testing::ValuesIn(test::all_tools()),
                         [](const auto& i) { return std::string(i.param); });

class EveryExtractor : public testing::TestWithParam<const char*> {
 protected:
  std::string output(const char* id) const {
    const std::string tool = GetParam();
    return (tool == "vidconv" ? "kv9x" : "kv9_") + std::string(id) +
           (tool == "vidsound"    ? ".wav"
            : tool == "videxport" ? ".mkv"
                                  : ".str");
  }
};

// Four movies: the first's output on a full disk, the second's a directory, the image ending
// inside the fourth. Each is reported; the third is written whole, as alone; the fourth keeps
// its length, the frames past the end read as 0xFF.
TEST_P(EveryExtractor, FailuresOfOneMovieLeaveTheOthersWhole) {
  test::TempDir dir, clean;
  auto layout = test::back_to_back(3, {2, 3, 2, 3});
  layout.cut_at_byte = builder::movie_address(layout.movies[3]) + kFrameBytes + 100;
  test::write_disc(dir.path(), layout);
  layout.cut_at_byte = 0;
  test::write_disc(clean.path(), layout);
  fs::create_symlink("/dev/full", dir / output("300"));
  fs::create_directory(dir / output("301"));
  const auto r = run_tool(dir.path(), GetParam(), {"kv9disc3.img", "0-3"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("\ncannot write file " + output("300") + "\ncannot open file " +
                          output("301") + "\nopen file \"" + output("302")),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("SMN ErrorSMR ErrorSMJ Error(0)"), std::string::npos);
  EXPECT_TRUE(r.output.ends_with("\nimage kv9disc3.img ends before movie 303 ends\n"));
  ASSERT_EQ(run_tool(clean.path(), GetParam(), {"kv9disc3.img", "2-3"}).status, 0);
  EXPECT_TRUE(read_file(dir / output("302")) == read_file(clean / output("302")));
  if (std::string(GetParam()) != "videxport") {
    EXPECT_EQ(fs::file_size(dir / output("303")), fs::file_size(clean / output("303")));
  }
}

// The address file moves the second movie of a range 10 sectors on: it is still read from where
// the first ended, so its file is the one its own frames give, and the run says so and fails.
TEST_P(EveryExtractor, MoviesNotBackToBackAreReadOnAndReported) {
  test::TempDir dir, clean;
  auto layout = test::back_to_back(4, {2, 2});
  test::write_disc(clean.path(), layout);
  test::write_disc(dir.path(), layout, false);
  layout.movies[1].start_sector += 10;
  test::write_file(dir / "kv9cdadr.ini", test::address_file_for(layout));
  const auto r = run_tool(dir.path(), GetParam(), {"kv9disc4.img", "0-1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("\nmovie 401 does not start where movie 400 ends: read from 0x0000E000, "
                          "not from its address 0x00013000\nopen file \"" +
                          output("401")),
            std::string::npos)
      << r.output;
  ASSERT_EQ(run_tool(clean.path(), GetParam(), {"kv9disc4.img", "0-1"}).status, 0);
  EXPECT_TRUE(read_file(dir / output("401")) == read_file(clean / output("401")));
}

INSTANTIATE_TEST_SUITE_P(Tools, EveryExtractor, testing::ValuesIn(test::extractors()),
                         [](const auto& i) { return std::string(i.param); });

class VidscanAddressFile : public testing::Test {
 protected:
  void SetUp() override {
    test::write_disc(dir.path(), test::back_to_back(1, {2}), false);
    test::write_file(dir / "kv9cdadr.ini", "old file\n");
  }
  test::TempDir dir;
};

// A full disk (every write fails), a killed writer, a folder the user cannot write: the old
// file stays whole, and a killed run's temporary file blocks no later run.
TEST_F(VidscanAddressFile, FailedWritesKeepTheOldFile) {
  const auto full = shell(dir.path(), "trap '' XFSZ; ulimit -f 0; vidscan kv9disc1.img");
  EXPECT_EQ(full.status, 1);
  EXPECT_NE(full.output.find("write kv9cdadr.ini file\ncannot write file kv9cdadr.ini\n"),
            std::string::npos);
  EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"kv9cdadr.ini", "kv9disc1.img"}));
  EXPECT_NE(shell(dir.path(), "ulimit -f 0; exec vidscan kv9disc1.img").status, 0);  // killed
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), "old file\n");
  if (const auto r = run_unprivileged(dir.path(), "vidscan", {"kv9disc1.img"})) {
    EXPECT_EQ(r->status, 1);
    EXPECT_NE(r->output.find("\ncannot open file kv9cdadr.ini\n"), std::string::npos);
    EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), "old file\n");
  }
  EXPECT_EQ(run_tool(dir.path(), "vidscan", {"kv9disc1.img"}).status, 0);
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), test::address_file_for(test::back_to_back(1, {2})));
}

// Four scans in one folder at once end with every disc's entries, round after round.
TEST_F(VidscanAddressFile, ConcurrentScansKeepEveryDisc) {
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

// A movie of more frames than the file can keep (four hex digits) is announced but not stored,
// and the movie after it is; an image of 4 GiB or more is refused and the file rewritten as it
// was. Both images are sparse: only the headers the scan reads are written.
TEST_F(VidscanAddressFile, MoviesAndImagesTooLargeForTheFile) {
  std::FILE* f = std::fopen((dir / "kv9disc4.img").c_str(), "wb");
  auto put = [&](uint64_t at, const char* tag, uint8_t sector, uint8_t counter) {
    const char h[8] = {tag[0], tag[1], tag[2], 1, char(sector), 9, char(counter), 0};
    ASSERT_EQ(::pwrite(fileno(f), h, 8, off_t(at)), 8);
  };
  const uint64_t second = uint64_t{0x10001} * kFrameBytes;
  for (const uint64_t start : {uint64_t{0}, second}) {
    put(start, "SMN", 0, 0);
    put(start + 2048, "SMR", 1, 0);
    put(start + 4096, "SMJ", 2, 0);
  }
  for (uint32_t l = 1; l < 0x10001; ++l) put(uint64_t{l} * kFrameBytes, "SMN", 0, 1);
  ASSERT_EQ(::ftruncate(fileno(f), off_t(second + kFrameBytes)), 0);
  std::fclose(f);
  fs::remove(dir / "kv9cdadr.ini");
  const auto r = run_tool(dir.path(), "vidscan", {"kv9disc4.img"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("\n Found! ID=0: 0x00000000, 0x10001 frame (not stored: more than "
                          "65535 frames)\n Found! ID=1: 0x50005000, 0x1 frame\n"),
            std::string::npos);
  const std::string stored = test::address_file_for(test::back_to_back(4, {})) +
                             "id=1, address=0x50005000, frame=0x0001\n";
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), stored);

  fs::resize_file(dir / "kv9disc4.img", uint64_t{1} << 32);
  const auto big = run_tool(dir.path(), "vidscan", {"kv9disc4.img"});
  EXPECT_EQ(big.status, 1);
  EXPECT_EQ(big.output,
            "image kv9disc4.img is 4 GiB or larger: its movie addresses do not fit "
            "the address file\nwrite kv9cdadr.ini file\n");
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), stored);
}

}  // namespace
}  // namespace kv9
