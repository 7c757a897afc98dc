// Every tool over every form of one disc: the run over its 2048-byte image gives the files, the
// console (the image named as typed) and the status that every other form must give; damaged
// raw sectors are said, and sheets the tools cannot follow are refused in one line.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/movie_files.h"
#include "tools/raw_disc_writer.h"

namespace kv9 {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::write_file;

// Three movies at sectors 16 to 105 of a disc of 300 sectors (chdman's smallest is about 100).
const builder::DiscLayout& disc() {
  static const builder::DiscLayout layout = [] {
    builder::DiscLayout l = test::back_to_back(1, {3, 2, 4}, 16);
    l.total_sectors = 300;
    return l;
  }();
  return layout;
}
constexpr uint32_t kDamagedInMovie101 = 50;  // movie 101 holds sectors 46 to 65
constexpr uint32_t kMisaddressedInMovie101 = 60;
constexpr uint32_t kDamagedOutside = 2;

struct Form {
  std::string name;
  std::vector<std::string> args;  // what stands for the image on the command line
  std::string path;               // the image's path as the console names it
  bool piped = false;             // the image is fed through a FIFO of its name
};

// The images, written once: every form of the disc, and sheets that are refused.
class ImageForms : public testing::TestWithParam<const char*> {
 protected:
  static void SetUpTestSuite() {
    images_.emplace();
    const fs::path dir = images_->path();
    test::write_disc(dir, disc());  // kv9disc1.img and the address file
    const std::string cooked = (dir / "kv9disc1.img").string();
    // The raw disc `stem`.bin and .cue in `folder`, with an audio track of `audio` seconds (in a
    // BIN of its own when `audio_file` is given) and damage on `damaged` sectors.
    const auto raw = [&](const std::string& folder, RawMode mode, const std::string& stem,
                         uint32_t audio = 0, const std::string& audio_file = "",
                         std::vector<uint32_t> damaged = {},
                         std::vector<uint32_t> misaddressed = {}) {
      fs::create_directories(dir / folder);
      builder::RawDisc r;
      r.mode = mode;
      r.bin_path = (dir / folder / (stem + ".bin")).string();
      r.cue_path = (dir / folder / (stem + ".cue")).string();
      r.audio_seconds = audio;
      if (!audio_file.empty()) r.audio_bin_path = (dir / folder / audio_file).string();
      r.damaged_sectors = std::move(damaged);
      r.misaddressed_sectors = std::move(misaddressed);
      ASSERT_TRUE(builder::write_raw_disc(cooked, r));
    };
    raw("mode1", RawMode::kMode1, "kv9disc1");
    raw("mode2", RawMode::kMode2, "kv9disc1");
    raw("audio", RawMode::kMode2, "kv9disc1", 3);
    raw("set", RawMode::kMode1, "Karvelon Tidewater (Disc 1) (Track 1)", 2,
        "Karvelon Tidewater (Disc 1) (Track 2).bin");
    fs::rename(dir / "set" / "Karvelon Tidewater (Disc 1) (Track 1).cue",
               dir / "set" / "Karvelon Tidewater (Disc 1).cue");
    raw("damaged", RawMode::kMode1, "kv9disc1", 0, "", {kDamagedOutside, kDamagedInMovie101},
        {kMisaddressedInMovie101});
    // The 2048-byte image of that disc as a reader that saw no damage gives it.
    std::string flipped = read_file(dir / "kv9disc1.img");
    for (const uint32_t sector : {kDamagedOutside, kDamagedInMovie101}) {
      flipped[sector * kSectorSize + builder::kDamagedUserDataByte] ^= builder::kDamageBits;
    }
    write_file(dir / "damaged" / "kv9disc1.img", flipped);
    fs::copy_file(dir / "kv9disc1.img", dir / "KV9_D1.ISO");
    fs::create_directory(dir / "ゲーム");
    fs::copy_file(dir / "kv9disc1.img", dir / "ゲーム" / "kv9disc1.img");
    // A sheet made on Windows: its file in a folder below it, named with a backslash and in a
    // script outside any Western code page.
    fs::create_directories(dir / "win" / "bins");
    fs::copy_file(dir / "mode1" / "kv9disc1.bin", dir / "win" / "bins" / "ゲーム.bin");
    write_file(dir / "win" / "kv9disc1.cue",
               "FILE \"bins\\ゲーム.bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n"
               "    INDEX 01 00:00:00\r\n");
    // What chdman gives back of the CHD of a BIN/CUE with an audio track.
    if (test::have_program("chdman")) {
      fs::create_directory(dir / "chd");
      const auto make = test::run_program(
          dir / "chd", "chdman", {"createcd", "-i", "../audio/kv9disc1.cue", "-o", "x.chd"});
      const auto back = test::run_program(dir / "chd", "chdman",
                                          {"extractcd", "-i", "x.chd", "-o", "kv9disc1.cue"});
      ASSERT_EQ(make.status + back.status, 0) << make.errors << back.errors;
    }
    // Sheets whose first track the tools do not read, or whose file is gone.
    for (const auto& [folder, sheet] :
         {std::pair{"sound", "FILE \"../mode1/kv9disc1.bin\" BINARY\n  TRACK 01 AUDIO\n"},
          {"form", "FILE \"../mode1/kv9disc1.bin\" BINARY\n  TRACK 01 MODE2/2336\n"},
          {"gone", "FILE \"gone.bin\" BINARY\n  TRACK 01 MODE1/2352\n"}}) {
      fs::create_directory(dir / folder);
      write_file(dir / folder / "kv9disc1.cue", sheet + std::string("    INDEX 01 00:00:00\n"));
    }
  }
  static void TearDownTestSuite() { images_.reset(); }

  // A run of the tool in a new folder (with the address file, for an extractor) over `args`.
  test::RunResult run(const std::vector<std::string>& args, bool piped,
                      std::map<std::string, std::string>& files) {
    const fs::path work = images_->path() / (GetParam() + std::to_string(runs_++));
    fs::create_directory(work);
    const std::string tool = GetParam();
    if (tool != "vidscan") fs::copy_file(images_->path() / "kv9cdadr.ini", work / "kv9cdadr.ini");
    std::vector<std::string> all = args;
    std::optional<test::PipedImage> pipe;
    if (piped) {
      fs::copy_file(images_->path() / "mode1" / "kv9disc1.bin", work / "kv9disc1.bin");
      pipe.emplace(work, "kv9disc1.bin");
    }
    if (tool != "vidscan") all.push_back("0-2");
    const test::RunResult r = test::run_tool(work, tool, all);
    pipe.reset();
    fs::remove(work / "kv9disc1.bin.source");
    files = test::folder_files(work);
    return r;
  }

  static std::optional<test::TempDir> images_;
  int runs_ = 0;
};
std::optional<test::TempDir> ImageForms::images_;

// The console with every `from` written as `to`.
std::string named(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at))
    text.replace(at, from.size(), to), at += to.size();
  return text;
}

TEST_P(ImageForms, GiveTheFilesAndConsoleOfThe2048ByteImage) {
  const std::string tool = GetParam();
  const std::string image = "../kv9disc1.img";
  std::map<std::string, std::string> want, got;
  const test::RunResult ref = run({image}, false, want);
  ASSERT_EQ(ref.status, 0) << ref.output;
  std::vector<Form> forms = {
      {"Mode1Sheet", {"../mode1/kv9disc1.cue"}, "../mode1/kv9disc1.cue"},
      {"Mode2Sheet", {"../mode2/kv9disc1.cue"}, "../mode2/kv9disc1.cue"},
      {"BinAlone", {"../mode2/kv9disc1.bin"}, "../mode2/kv9disc1.bin"},
      {"SheetWithAudioTrack", {"../audio/kv9disc1.cue"}, "../audio/kv9disc1.cue"},
      {"DumpSetNames",
       {"../set/Karvelon Tidewater (Disc 1).cue"},
       "../set/Karvelon Tidewater (Disc 1).cue"},
      {"AnyNameWithDisc", {"--disc", "1", "../KV9_D1.ISO"}, "../KV9_D1.ISO"},
      {"SheetMadeOnWindows", {"../win/kv9disc1.cue"}, "../win/kv9disc1.cue"}};
  if (fs::exists(images_->path() / "chd"))
    forms.push_back({"ChdmanExtracted", {"../chd/kv9disc1.cue"}, "../chd/kv9disc1.cue"});
  // Paths as typed, through a folder named in a script outside any Western code page, with the
  // system's separators and (Windows) drives: Wine's Z: is the Linux root.
  const std::string folder = (images_->path() / "ゲーム").string();
  forms.push_back({"WholePath", {folder + "/kv9disc1.img"}, folder + "/kv9disc1.img"});
  forms.push_back(
      {"FolderAndBack", {"../ゲーム/../ゲーム/kv9disc1.img"}, "../ゲーム/../ゲーム/kv9disc1.img"});
  if (!test::windows_tools()) {
    forms.push_back({"PipedRawImage", {"kv9disc1.bin"}, "kv9disc1.bin", true});
  } else {
    std::string drive = "Z:" + folder + "\\kv9disc1.img";
    std::replace(drive.begin(), drive.end(), '/', '\\');
    forms.push_back({"Drive", {drive}, drive});
    forms.push_back(
        {"DriveAndBackslashes", {"Z:..\\ゲーム\\kv9disc1.img"}, "Z:..\\ゲーム\\kv9disc1.img"});
    // A sheet naming its file by drive and whole path.
    std::string bin = "Z:" + (images_->path() / "mode1" / "kv9disc1.bin").string();
    std::replace(bin.begin(), bin.end(), '/', '\\');
    fs::create_directories(images_->path() / "drive");
    write_file(images_->path() / "drive" / "kv9disc1.cue",
               "FILE \"" + bin + "\" BINARY\r\n  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n");
    forms.push_back({"SheetWithDrive", {"../drive/kv9disc1.cue"}, "../drive/kv9disc1.cue"});
  }
  for (const Form& form : forms) {
    SCOPED_TRACE(form.name);
    const test::RunResult r = run(form.args, form.piped, got);
    EXPECT_EQ(r.status, ref.status);
    EXPECT_EQ(named(r.output, form.path, image), ref.output);
    EXPECT_TRUE(got == want);
  }

  // A damaged sector and a misaddressed one in movie 101, a damaged one outside every movie: the
  // data are used as read, so the files are those of the 2048-byte image with the same bytes;
  // the damaged sectors each tool reads are said.
  const test::RunResult as_read = run({"../damaged/kv9disc1.img"}, false, want);
  const std::string damaged = "../damaged/kv9disc1.cue";
  const test::RunResult r = run({damaged}, false, got);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(got == want);
  std::string said = named(as_read.output, "../damaged/kv9disc1.img", image);
  if (tool == "vidscan") {
    said.insert(said.find("write kv9cdadr.ini"),
                "image ../kv9disc1.img: 3 sectors fail their check, the first at sector 2\n");
  } else {
    const std::size_t done = said.find("\ndone.", said.find(test::output_file(tool, 101)));
    said.insert(said.find('\n', done + 1) + 1,
                "movie 101: 2 sectors fail their check, the first at sector 50 (the image is "
                "damaged there)\n");
  }
  EXPECT_EQ(named(r.output, damaged, image), said);

  // Sheets refused: in place of the line of an image that cannot be opened, the reason.
  const test::RunResult missing = run({"../missing/kv9disc1.img"}, false, want);
  const std::string cannot_open = "cannot open file ../missing/kv9disc1.img";
  for (const auto& [sheet, why] :
       {std::pair{"../sound/kv9disc1.cue", "its first track is AUDIO, not a data track"},
        {"../form/kv9disc1.cue",
         "its first track is MODE2/2336, a form the tools do not read (MODE1/2048, MODE1/2352 "
         "or MODE2/2352)"},
        {"../gone/kv9disc1.cue", "its file gone.bin cannot be opened"}}) {
    const test::RunResult refused = run({sheet}, false, got);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.output,
              named(missing.output, cannot_open, "sheet " + std::string(sheet) + ": " + why));
    EXPECT_TRUE(got == want);
  }
}

INSTANTIATE_TEST_SUITE_P(Tools, ImageForms, testing::ValuesIn(test::all_tools()),
                         [](const auto& i) { return std::string(i.param); });

}  // namespace
}  // namespace kv9
