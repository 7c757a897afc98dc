// Faults from outside, on every tool: command lines refused; images that cannot be opened, end
// too soon or come through a pipe; address files that cannot be read, written, or that several
// scans write at once; outputs that cannot be created or written; movies that do not lie back to
// back. Each is reported, ends with status 1, and leaves no output passing for complete and no
// entry lost. And how vidscan merges what it finds into the address file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "support/differential.h"
#include "support/movie_files.h"

namespace kv9 {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::run_tool;

// A shell command run in `dir` with the tools under test on the path.
test::RunResult shell(const fs::path& dir, const std::string& command) {
  return test::run_program(dir, "sh", {"-c", test::with_tools(command)});
}

// The same as an unprivileged user, so that file permissions count also where the tests run as
// root. Empty when that is impossible here.
std::optional<test::RunResult> run_unprivileged(const fs::path& dir, const std::string& command) {
  if (test::windows_tools()) return std::nullopt;  // Wine runs as the user who made its prefix
  if (::geteuid() != 0) return shell(dir, command);
  auto r = test::run_program(
      dir, "setpriv",
      {"--reuid=65534", "--regid=65534", "--clear-groups", "sh", "-c", test::with_tools(command)});
  if (r.status == 126 || r.status == 127) return std::nullopt;  // no setpriv, or no way in
  return r;
}

// Command lines and images that are refused, or taken with a change. Every row runs beside an
// address file and a directory and /proc/self/mem named like images; the address file must stay
// as it was. A refusal prints the usage text alone on standard output and the reason on
// standard error.
struct Refusal {
  const char* name;
  const char* tool;
  std::vector<std::string> args;
  int status;
  std::string output;  // "usage": the tool's usage text
  std::string errors;  // after "<tool>: "
};
class Refusals : public testing::TestWithParam<Refusal> {};

TEST_P(Refusals, AnswerOnTheRightStreams) {
  const Refusal& c = GetParam();
  test::TempDir dir;
  const std::string ini = "[kv9disc1.img]\nid=0, address=0x1, frame=0x1\n";
  test::write_file(dir / "kv9cdadr.ini", ini);
  fs::create_directory(dir / "kv9disc2.img");
  fs::create_symlink("/proc/self/mem", dir / "kv9disc3.img");  // reading its byte 0 fails
  const auto r = run_tool(dir.path(), c.tool, c.args);
  const std::string usage =
      "\nkv9tools - movie tools for the Karvelon Tidewater disc images\n"
      "documentation: README.md and the man pages of the kv9tools project\n\n"
      "USAGE:" +
      std::string(c.tool) + " D:kv9disc?.img" +
      (c.tool == std::string("vidscan") ? "\n" : " <n-m>\n");
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(r.output, c.output == "usage" ? usage : c.output);
  EXPECT_EQ(r.errors, c.errors.empty() ? "" : std::string(c.tool) + ": " + c.errors + "\n");
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), ini);
}

const std::string kNotAnImage =
    "' names no disc: give --disc N (1 to 4) before it, or name it kv9disc1.img to kv9disc4.img "
    "(or .iso, .bin, .cue) or with (Disc 1) to (Disc 4) in it";
const std::string kNotARange = "' is not a movie id or range: give n or n-m, as in 5 or 2-7";

// clang-format off
INSTANTIATE_TEST_SUITE_P(EveryTool, Refusals, testing::ValuesIn([] {
  std::vector<Refusal> rows = {
    Refusal{"ScanUpperCase", "vidscan", {"KV9DISC1.IMG"}, 2, "usage", "'KV9DISC1.IMG" + kNotAnImage},
    Refusal{"SoundTrailingDash", "vidsound", {"kv9disc1.img", "3-"}, 2, "usage", "'3-" + kNotARange},
    Refusal{"CopyLetters", "vidcopy", {"kv9disc1.img", "abc"}, 2, "usage", "'abc" + kNotARange},
    Refusal{"ConvTooLarge", "vidconv", {"kv9disc2.img", "4294967296"}, 2, "usage",
            "'4294967296" + kNotARange},
    // A range beyond the disc's ids is clamped, and said so; the run goes on.
    Refusal{"CopyMissingImageClamped", "vidcopy", {"kv9disc4.img", "99"}, 1,
            "cannot open file kv9disc4.img\n", "range '99' taken as 6: disc 4 has movie ids 0 to 6"},
    Refusal{"SoundDirectoryClamped", "vidsound", {"kv9disc2.img", "2-99"}, 1,
            "cannot open file kv9disc2.img\n",
            "range '2-99' taken as 2-33: disc 2 has movie ids 0 to 33"},
    Refusal{"ConvFirstByteUnreadable", "vidconv", {"kv9disc3.img", "0-31"}, 1,
            "cannot open file kv9disc3.img\n", ""},
    // Arguments after the range are ignored, and said so.
    Refusal{"SoundArgumentsAfterTheRange", "vidsound", {"kv9disc1.img", "0", "2", "5-6"}, 1,
            "cannot open file kv9disc1.img\n", "arguments after the range are ignored: '2' '5-6'"},
    // --disc N names the disc of an image of any name; the range follows the image.
    Refusal{"ScanDiscFive", "vidscan", {"--disc", "5", "game.iso"}, 2, "usage",
            "'5' is not a disc number: give --disc 1 to --disc 4"},
    Refusal{"CopyDiscWithoutImage", "vidcopy", {"--disc", "2"}, 2, "usage", "no disc image given"},
    Refusal{"SoundDiscOfAnyName", "vidsound", {"--disc", "2", "game.iso", "99"}, 1,
            "cannot open file game.iso\n", "range '99' taken as 33: disc 2 has movie ids 0 to 33"}};
  for (const char* tool : test::all_tools())  // no arguments
    rows.push_back({tool, tool, {}, 2, "usage", "no disc image given"});
  return rows;
}()), [](const auto& i) { return std::string(i.param.name); });
// clang-format on

class EveryTool : public testing::TestWithParam<const char*> {};

// --help says what the tool does, which files it reads and writes, and its exit statuses;
// --version names the project. An address file that exists but cannot be read (here a directory)
// stops a run before the image is opened. Nothing is written, and the file keeps what it holds.
TEST_P(EveryTool, AnswersBeforeOpeningTheImage) {
  const std::string tool = GetParam();
  test::TempDir dir;
  const auto help = run_tool(dir.path(), tool, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("USAGE:" + tool), std::string::npos);
  EXPECT_NE(help.output.find("kv9cdadr.ini"), std::string::npos);
  EXPECT_NE(help.output.find("Exit status: 0 "), std::string::npos);
  EXPECT_EQ(help.output.find("KV9_JOBS=N") != std::string::npos, tool != "vidscan");
  EXPECT_TRUE(run_tool(dir.path(), tool, {"--version"}).output.starts_with("kv9tools "));
  EXPECT_TRUE(fs::is_empty(dir.path()));
  test::write_disc(dir.path(), test::back_to_back(1, {2}), false);
  fs::create_directory(dir / "kv9cdadr.ini");
  const auto r = run_tool(dir.path(), tool, {"kv9disc1.img"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "cannot read file kv9cdadr.ini\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2);  // the image, the file
}

INSTANTIATE_TEST_SUITE_P(Tools, EveryTool, testing::ValuesIn(test::all_tools()),
                         [](const auto& i) { return std::string(i.param); });

class EveryExtractor : public testing::TestWithParam<const char*> {
 protected:
  std::string output(int movie) const { return test::output_file(GetParam(), movie); }
};

// Six movies: the first's output on a full disk, the second's a folder, the fourth moved 10
// sectors on in the address file, the image ending inside the fifth, the sixth wholly past its
// end. Each is reported; the third is written whole and the fourth is read from where the third
// ended, each as a run over the whole image gives it; the fifth keeps its length, the frames past
// the end 0xFF (videxport: pictures that do not decode, said), and the sixth gets no file. Five
// workers (more than the machine has cores) leave every file and the whole console as one does.
// The third's name is a link to a file kept elsewhere. Run again over those files, the cut fifth
// never replaces the earlier one.
TEST_P(EveryExtractor, FailuresOfOneMovieLeaveTheOthersWhole) {
  test::TempDir dir, parallel, clean;
  auto layout = test::back_to_back(3, {2, 3, 2, 2, 3, 2});
  test::write_disc(clean.path(), layout);
  layout.cut_at_byte = builder::movie_address(layout.movies[4]) + kFrameBytes + 100;
  auto moved = layout;
  moved.movies[3].start_sector += 10;
  const auto run_in = [&](const fs::path& d, int workers) {
    test::write_disc(d, layout);
    test::write_file(d / "kv9cdadr.ini", test::address_file_for({moved}));
    fs::create_symlink("/dev/full", d / output(300));
    fs::create_directory(d / output(301));
    fs::create_directory(d / "kept");
    test::write_file(d / "kept" / output(302), "earlier");
    fs::permissions(d / "kept" / output(302), fs::perms(0600));
    fs::create_symlink("kept/" + output(302), d / output(302));
    return run_tool(d, GetParam(), {"kv9disc3.img", "0-5"}, workers);
  };
  const auto r = run_in(dir.path(), 1);
  const auto side_by_side = run_in(parallel.path(), 5);
  EXPECT_EQ(side_by_side.status, r.status);
  EXPECT_EQ(side_by_side.output, r.output);
  EXPECT_TRUE(test::folder_files(parallel.path()) == test::folder_files(dir.path()));

  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("\ncannot write file " + output(300) + "\ncannot open file " +
                          output(301) + "\nopen file \"" + output(302)),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("\nmovie 303 does not start where movie 302 ends: read from 0x00027000, "
                          "not from its address 0x0002C000\nopen file \"" +
                          output(303)),
            std::string::npos);
  EXPECT_NE(r.output.find("100%SMN ErrorSMR ErrorSMJ Error(0)SMJ Error(1)SMJ Error(2)SMJ Error(3)"
                          "SMJ Error(4)SMJ Error(5)SMJ Error(6)SMJ Error(7)\ndone."),
            std::string::npos);
  const std::string undecoded = std::string(GetParam()) == "videxport"
                                    ? "movie 304: 2 of 3 pictures did not decode (each shows "
                                      "the picture before it)\n"
                                    : "";
  const std::string past_end = "image kv9disc3.img ends before movie 305 starts: no file written\n";
  EXPECT_TRUE(r.output.ends_with(")\n" + undecoded +
                                 "image kv9disc3.img ends before movie 304 ends\n" + past_end))
      << r.output;
  ASSERT_EQ(run_tool(clean.path(), GetParam(), {"kv9disc3.img", "0-4"}).status, 0);
  for (int id : {302, 303}) {
    EXPECT_TRUE(read_file(dir / output(id)) == read_file(clean / output(id))) << id;
  }
  // A link is written through, the file it names keeps its permissions; a new file gets the
  // usual ones. (Windows replaces the link itself, and has no such permissions.)
  if (!test::windows_tools()) {
    EXPECT_TRUE(fs::is_symlink(dir / output(302)));
    EXPECT_EQ(fs::status(dir / output(302)).permissions(), fs::perms(0600));
    const mode_t umask = ::umask(0);
    ::umask(umask);
    EXPECT_EQ(fs::status(dir / output(303)).permissions(), fs::perms(0666 & ~umask));
  }
  const std::string cut = read_file(dir / output(304));
  if (std::string(GetParam()) != "videxport") {
    EXPECT_EQ(cut.size(), fs::file_size(clean / output(304)));
  }
  EXPECT_FALSE(fs::exists(dir / output(305)));

  const auto again = run_tool(dir.path(), GetParam(), {"kv9disc3.img", "4-5"});
  EXPECT_EQ(again.status, 1);
  EXPECT_TRUE(again.output.ends_with(")\n" + undecoded +
                                     "image kv9disc3.img ends before movie 304 "
                                     "ends: the earlier " +
                                     output(304) + " is kept\n" + past_end))
      << again.output;
  EXPECT_TRUE(read_file(dir / output(304)) == cut);
  // Each failure alone fails the run: movies not back to back, an output not created.
  EXPECT_EQ(run_tool(dir.path(), GetParam(), {"kv9disc3.img", "2-3"}).status, 1);
  EXPECT_EQ(run_tool(dir.path(), GetParam(), {"kv9disc3.img", "1"}).status, 1);
}

// Six movies on a disk that fills up after the first three (a file system of that size, mounted
// where the tests may): four workers give the files, console and status of one; the movies that
// do not fit are said, "cannot write file NAME". A file-size limit (SIGXFSZ does not end the
// run) keeps the earlier file. An output that is a FIFO is written in its turn (its reader finds
// the movie before it in place), and a reader that leaves after 100 bytes fails that movie alone.
// (Interrupts: tests/interrupt_rounds.)
TEST_P(EveryExtractor, FullDisksAndGoneReadersFailTheirMoviesAlone) {
  const std::string tool = GetParam();
  test::TempDir dir;
  const auto layout = test::back_to_back(1, {60, 20, 20, 25, 8, 15});
  test::write_disc(dir.path(), layout);
  ASSERT_EQ(run_tool(dir.path(), tool, {"kv9disc1.img", "0-5"}).status, 0);
  uintmax_t room = 0;
  for (int movie : {100, 101, 102}) room += (fs::file_size(dir / output(movie)) + 4095) / 4096;
  std::map<int, test::RunResult> runs;
  std::map<int, std::map<std::string, std::string>> files;
  for (int workers : {1, 4}) {
    const fs::path disk = dir / ("disk" + std::to_string(workers));
    fs::create_directory(disk);
    const std::string mount = "mount -t tmpfs -o size=" + std::to_string(room * 4096 + 4096) +
                              " kv9test " + disk.string() + " 2>/dev/null";
    if (std::system(mount.c_str()) != 0) break;
    fs::copy_file(dir / "kv9cdadr.ini", disk / "kv9cdadr.ini");
    runs[workers] = run_tool(disk, tool, {"../kv9disc1.img", "0-5"}, workers);
    files[workers] = test::folder_files(disk);
    std::system(("umount " + disk.string()).c_str());
  }
  if (runs.size() == 2) {
    EXPECT_EQ(runs[1].status, 1);
    EXPECT_NE(runs[1].output.find("\ncannot write file " + output(103) + "\n"), std::string::npos)
        << runs[1].output;
    EXPECT_EQ(runs[4].status, runs[1].status);
    EXPECT_EQ(runs[4].output, runs[1].output);
    EXPECT_TRUE(files[4] == files[1]);
  }
  if (test::windows_tools()) GTEST_SKIP() << "file-size limits and FIFOs: not under Wine";
  const std::string earlier = read_file(dir / output(100));
  const auto limited = shell(dir.path(), "ulimit -f 64; exec " + tool + " kv9disc1.img 0");
  EXPECT_EQ(limited.status, 1);
  EXPECT_NE(limited.output.find("\ncannot write file " + output(100) + "\n"), std::string::npos);
  EXPECT_TRUE(read_file(dir / output(100)) == earlier);
  // Movie 100's reader pauses before it reads the movie whole (which holds its writer, the movie
  // being larger than a pipe holds); movie 101's leaves early.
  const fs::path fifo = dir / "fifo";
  fs::create_directory(fifo);
  fs::copy_file(dir / "kv9cdadr.ini", fifo / "kv9cdadr.ini");
  for (int movie : {100, 101}) ASSERT_EQ(::mkfifo((fifo / output(movie)).c_str(), 0600), 0);
  std::atomic<bool> first_read{false}, first_read_when_second_came{false};
  std::thread first([&] {
    std::ifstream in(fifo / output(100), std::ios::binary);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    first_read = true;
    in.ignore(std::numeric_limits<std::streamsize>::max());
  });
  std::thread second([&] {
    std::ifstream in(fifo / output(101), std::ios::binary);
    first_read_when_second_came = first_read.load();
    char bytes[100];
    in.read(bytes, sizeof bytes);
  });
  const auto r = run_tool(fifo, tool, {"../kv9disc1.img", "0-2"}, 3);
  first.join();
  second.join();
  EXPECT_TRUE(first_read_when_second_came);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find(")\ncannot write file " + output(101) + "\nopen file"), std::string::npos)
      << r.output;
  EXPECT_TRUE(read_file(fifo / output(102)) == read_file(dir / output(102)));
}

INSTANTIATE_TEST_SUITE_P(Tools, EveryExtractor, testing::ValuesIn(test::extractors()),
                         [](const auto& i) { return std::string(i.param); });

const std::string kTooLarge =
    "is 4 GiB or larger: its movie addresses do not fit the address file\nwrite kv9cdadr.ini "
    "file\n";

class VidscanAddressFile : public testing::Test {
 protected:
  void SetUp() override {
    test::write_disc(dir.path(), test::back_to_back(1, {2}), false);
    test::write_file(dir / "kv9cdadr.ini", "old file\n");
  }
  test::TempDir dir;
};

// Scans of discs 3 and 1 keep each other's entries and disc 3's id 2 from an earlier, longer
// scan; lines that are not entries do not survive; an image that cannot be opened, or a second
// run, leaves the file as it is. The file is a link to one kept in a shared folder, which is
// replaced and keeps its permissions; the link stays.
TEST_F(VidscanAddressFile, MergesEachDiscIntoTheFile) {
  const std::string title = "[Karvelon Tidewater CD-ROM movie address information]\n";
  const bool linked = !test::windows_tools();  // Windows replaces the link itself
  fs::create_directory(dir / "shared");
  const fs::path shared = dir / (linked ? "shared/kv9cdadr.ini" : "kv9cdadr.ini");
  test::write_file(shared, title + "[kv9disc3.img]\r\nid=2, address=0x00abc000, " +
                               "frame=0x12\r\njunk\nid=, address=0x1, frame=0x1\n");
  if (linked) {
    fs::permissions(shared, fs::perms(0600));
    fs::remove(dir / "kv9cdadr.ini");
    fs::create_symlink("shared/kv9cdadr.ini", dir / "kv9cdadr.ini");
  }
  const auto disc3 = test::back_to_back(3, {1, 11});
  test::write_disc(dir.path(), disc3, false);
  const test::PipedImage pipe(dir.path(), "kv9disc3.img");  // read from a pipe, as from the file
  const auto r = run_tool(dir.path(), "vidscan", {"kv9disc3.img"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output,
            "Now searching... kv9disc3.img\n\n Found! ID=0: 0x00004000, 0x1 frame\n Found! "
            "ID=1: 0x00009000, 0xB frame\nwrite kv9cdadr.ini file\n");
  const auto ignoring = run_tool(dir.path(), "vidscan", {"./kv9disc1.img", "kv9disc2.img"});
  EXPECT_EQ(ignoring.status, 0);
  EXPECT_EQ(ignoring.errors, "vidscan: arguments after the image are ignored: 'kv9disc2.img'\n");
  std::string merged = test::address_file_for({test::back_to_back(1, {2}), disc3});
  merged.insert(merged.find("[kv9disc4"), "id=2, address=0x00ABC000, frame=0x0012\n");
  EXPECT_EQ(test::written_address_file(shared), merged);
  EXPECT_TRUE(!linked || fs::is_symlink(dir / "kv9cdadr.ini"));
  EXPECT_TRUE(!linked || fs::status(shared).permissions() == fs::perms(0600));
  EXPECT_EQ(run_tool(dir.path(), "vidscan", {"kv9disc1.img"}).status, 0);
  const auto missing = run_tool(dir.path(), "vidscan", {"kv9disc2.img"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.output, "cannot open file kv9disc2.img\nwrite kv9cdadr.ini file\n");
  EXPECT_EQ(test::written_address_file(shared), merged);
}

// A file-size limit the file exceeds (SIGXFSZ does not end the scan), a folder the user cannot
// write, and on Windows a reader holding the file open throughout: the old file stays whole.
TEST_F(VidscanAddressFile, FailedWritesKeepTheOldFile) {
  if (test::windows_tools()) {
    // cmd holds the file it feeds the scan as input open, as many Windows programs hold theirs.
    const auto held = test::run_program(
        dir.path(), test::runner(),
        {"cmd", "/c", test::tool_file("vidscan") + " kv9disc1.img <kv9cdadr.ini"});
    EXPECT_EQ(held.status, 1);
    EXPECT_TRUE(test::from_windows_text(held.output)
                    .ends_with("write kv9cdadr.ini file\ncannot write file kv9cdadr.ini\n"))
        << held.output;
    EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), "old file\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 3);  // and the lock file
    GTEST_SKIP() << "full disks (ulimit), killed runs (signals) and other users (setpriv): "
                    "not under Wine";
  }
  // The file to write keeps disc 2's 34 entries: more than the one block of 512 bytes allowed.
  const auto disc2 = test::back_to_back(2, std::vector<uint32_t>(34, 1));
  const std::string old = test::address_file_for({disc2});
  test::write_file(dir / "kv9cdadr.ini", old);
  const auto full = shell(dir.path(), "ulimit -f 1; exec vidscan kv9disc1.img");
  EXPECT_EQ(full.status, 1);
  EXPECT_NE(full.output.find("write kv9cdadr.ini file\ncannot write file kv9cdadr.ini\n"),
            std::string::npos);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 3);  // and the lock file
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), old);
  EXPECT_EQ(run_tool(dir.path(), "vidscan", {"kv9disc1.img"}).status, 0);
  EXPECT_EQ(test::written_address_file(dir / "kv9cdadr.ini"),
            test::address_file_for({test::back_to_back(1, {2}), disc2}));
  // A folder the user may not write.
  const auto r = run_unprivileged(dir.path(), "vidscan kv9disc1.img");
  if (!r) GTEST_SKIP() << "no unprivileged user to run as (none under Wine)";
  EXPECT_EQ(r->status, 1);
  EXPECT_NE(r->output.find("\ncannot open file kv9cdadr.ini\n"), std::string::npos);
}

// Four scans in one folder at once end with every disc's entries, round after round; also in a
// folder its users may write but not read, two scans run by its owner and two by another user,
// who all take turns through the one lock file beside the address file.
TEST_F(VidscanAddressFile, ConcurrentScansKeepEveryDisc) {
  std::vector<builder::DiscLayout> discs;
  for (int d = 1; d <= 4; ++d) {
    discs.push_back(test::back_to_back(d, {uint32_t(d), 2}));
    test::write_disc(dir.path(), discs.back(), false);
  }
  const std::string scans = "for d in 1 2 3 4; do vidscan kv9disc$d.img >/dev/null & done; wait";
  for (int round = 0; round < 5; ++round) {
    fs::remove(dir / "kv9cdadr.ini");
    shell(dir.path(), scans);
    EXPECT_EQ(test::written_address_file(dir / "kv9cdadr.ini"), test::address_file_for(discs))
        << round;
  }
  if (test::windows_tools() || ::geteuid() != 0) GTEST_SKIP() << "no other user to run as";
  fs::permissions(dir.path(), fs::perms(0333));
  const std::string mixed =
      "for d in 1 2; do vidscan kv9disc$d.img >/dev/null & done; for d in 3 4; do setpriv "
      "--reuid=65534 --regid=65534 --clear-groups vidscan kv9disc$d.img >/dev/null & done; wait";
  for (int round = 0; round < 10; ++round) {
    fs::remove(dir / "kv9cdadr.ini");
    shell(dir.path(), mixed);
    EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), test::address_file_for(discs)) << round;
  }
  fs::permissions(dir.path(), fs::perms(0755));
  EXPECT_TRUE(fs::is_empty(dir / "kv9cdadr.ini.lock"));
}

// An image that ends inside a movie: the frames it holds are stored and the cut is said. A pipe
// or a device that turns out to hold 4 GiB or more (here endless zeros) is refused as a file of
// that size is, and nothing it showed is stored.
TEST_F(VidscanAddressFile, ImagesCutShortOrEndless) {
  auto layout = test::back_to_back(1, {20});
  layout.cut_at_byte = builder::movie_address(layout.movies[0]) + 6 * kFrameBytes + 5000;
  test::write_disc(dir.path(), layout, false);
  const auto cut = run_tool(dir.path(), "vidscan", {"kv9disc1.img"});
  EXPECT_EQ(cut.status, 1);
  EXPECT_EQ(cut.output,
            "Now searching... kv9disc1.img\n\n Found! ID=0: 0x00004000, 0x7 frame\nimage "
            "kv9disc1.img ends before movie 100 ends\nwrite kv9cdadr.ini file\n");
  const std::string stored = read_file(dir / "kv9cdadr.ini");
  EXPECT_NE(test::written_address_file(dir / "kv9cdadr.ini")
                .find("id=0, address=0x00004000, frame=0x0007\n"),
            std::string::npos);

  fs::create_symlink("/dev/zero", dir / "kv9disc2.img");
  const auto endless = run_tool(dir.path(), "vidscan", {"kv9disc2.img"});
  EXPECT_EQ(endless.status, 1);
  EXPECT_NE(endless.output.find(".0xFF000000\n"), std::string::npos);
  EXPECT_TRUE(endless.output.ends_with("\nimage kv9disc2.img " + kTooLarge));
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), stored);
}

// A movie of more frames than the file can keep (four hex digits) is announced but not stored,
// and the movie of 65535 frames after it is; an image of 4 GiB or more is refused and the file
// rewritten as it was. Both images are sparse: only the headers the scan reads are written.
TEST_F(VidscanAddressFile, MoviesAndImagesTooLargeForTheFile) {
  const uint64_t second = uint64_t{0x10000} * kFrameBytes, end = second + 0xFFFF * kFrameBytes;
  std::string first(4104, '\0');  // the headers a first frame is checked by
  test::put_frame_headers(first, 0, 3);
  std::vector<std::pair<uint64_t, std::string>> headers = {{0, first}, {second, first}};
  for (uint64_t at = kFrameBytes; at < end; at += kFrameBytes) {
    if (at != second) headers.push_back({at, std::string("SMN\1\0\t\1\0", 8)});
  }
  test::write_sparse_file(dir / "kv9disc4.img", end, headers);
  fs::remove(dir / "kv9cdadr.ini");
  const auto r = run_tool(dir.path(), "vidscan", {"kv9disc4.img"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output.rfind("file kv9cdadr.ini is not exist\nNow searching... kv9disc4.img\n", 0),
            0u);
  EXPECT_NE(r.output.find("\n Found! ID=0: 0x00000000, 0x10000 frame (not stored: more than "
                          "65535 frames)\n"),
            std::string::npos);
  EXPECT_TRUE(
      r.output.ends_with("* Found! ID=1: 0x50000000, 0xFFFF frame\nwrite kv9cdadr.ini file\n"));
  const std::string stored = test::address_file_for({test::back_to_back(4, {})}) +
                             "id=1, address=0x50000000, frame=0xFFFF\n";
  EXPECT_EQ(test::written_address_file(dir / "kv9cdadr.ini"), stored);

  fs::resize_file(dir / "kv9disc4.img", uint64_t{1} << 32);
  const auto big = run_tool(dir.path(), "vidscan", {"kv9disc4.img"});
  EXPECT_EQ(big.status, 1);
  EXPECT_EQ(big.output, "image kv9disc4.img " + kTooLarge);
  EXPECT_EQ(test::written_address_file(dir / "kv9cdadr.ini"), stored);
}

}  // namespace
}  // namespace kv9
