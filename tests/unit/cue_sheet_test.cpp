#include "common/cue_sheet.h"

#include <gtest/gtest.h>

#include <string>

namespace kv9 {
namespace {

// What a sheet reads as: the result, and when it is kOk the first track.
struct Reading {
  CueRead result = CueRead::kOk;
  std::string file;
  CueFileType file_type = CueFileType::kBinary;
  uint32_t number = 1;
  std::string form_text = "MODE1/2352";
  CueForm form = CueForm::kRawMode1;
  uint32_t index01 = 0;
  int next = -1;  // the next track's frame in the same file, -1: none
};

std::string described(const Reading& r) {
  if (r.result != CueRead::kOk) return "refused " + std::to_string(static_cast<int>(r.result));
  return "file '" + r.file + "' type " + std::to_string(static_cast<int>(r.file_type)) +
         ", track " + std::to_string(r.number) + " " + r.form_text + " form " +
         std::to_string(static_cast<int>(r.form)) + ", index 01 at " + std::to_string(r.index01) +
         ", next track at " + std::to_string(r.next);
}

struct SheetCase {
  const char* name;
  std::string sheet;
  Reading reading;
};
class CueSheet : public testing::TestWithParam<SheetCase> {};

TEST_P(CueSheet, ReadsTheFirstTrack) {
  const SheetCase& c = GetParam();
  CueTrack t;
  Reading got;
  got.result = read_cue_sheet(c.sheet.data(), c.sheet.size(), t);
  got.file = t.file.data();
  got.file_type = t.file_type;
  got.number = t.number;
  got.form_text = t.form_text.data();
  got.form = t.form;
  got.index01 = t.index01_frame;
  got.next = t.ends_at_next_track ? static_cast<int>(t.next_track_frame) : -1;
  EXPECT_EQ(described(got), described(c.reading));
}

Reading ok(std::string file, uint32_t index01 = 0, int next = -1) {
  Reading r;
  r.file = std::move(file), r.index01 = index01, r.next = next;
  return r;
}
Reading with_form(Reading r, std::string text, CueForm form) {
  r.form_text = std::move(text);
  r.form = form;
  return r;
}
Reading of_type(Reading r, CueFileType type) {
  r.file_type = type;
  return r;
}
Reading refused(CueRead why) {
  Reading r;
  r.result = why;
  return r;
}

const std::string kFile = "FILE \"disc.bin\" BINARY\n";
const std::string kMode1 = "  TRACK 01 MODE1/2352\n";
const std::string kIndex = "    INDEX 01 00:00:00\n";
const std::string kSheet = kFile + kMode1 + kIndex;
const std::string kLongName(kMaxPathBytes - 1, 'n');

// clang-format off
INSTANTIATE_TEST_SUITE_P(Sheets, CueSheet, testing::Values(
    SheetCase{"OneTrack", kSheet, ok("disc.bin")},
    SheetCase{"FilePerTrack", "FILE \"d (Track 1).bin\" BINARY\n" + kMode1 + kIndex +
        "FILE \"d (Track 2).bin\" BINARY\n  TRACK 02 AUDIO\n    INDEX 00 00:00:00\n"
        "    INDEX 01 00:02:00\n", ok("d (Track 1).bin")},
    SheetCase{"AudioAfterDataInOneFile", kSheet + "  TRACK 02 AUDIO\n    INDEX 00 00:04:00\n"
        "    INDEX 01 00:06:00\n", ok("disc.bin", 0, 300)},
    SheetCase{"NextTrackWithoutIndex00", kSheet + "  TRACK 02 AUDIO\n    INDEX 01 01:00:00\n",
        ok("disc.bin", 0, 4500)},
    SheetCase{"PregapInTheFile", kFile + kMode1 + "INDEX 00 00:00:00\nINDEX 01 00:02:00\n",
        ok("disc.bin", 150)},
    SheetCase{"Cooked", kFile + "TRACK 01 MODE1/2048\n" + kIndex,
        with_form(ok("disc.bin"), "MODE1/2048", CueForm::kCooked2048)},
    SheetCase{"Mode2", kFile + "TRACK 01 MODE2/2352\n" + kIndex,
        with_form(ok("disc.bin"), "MODE2/2352", CueForm::kRawMode2)},
    SheetCase{"FirstTrackAudio", kFile + "TRACK 01 AUDIO\n" + kIndex,
        with_form(ok("disc.bin"), "AUDIO", CueForm::kUnsupported)},
    SheetCase{"Mode2Of2336", kFile + "TRACK 01 MODE2/2336\n" + kIndex,
        with_form(ok("disc.bin"), "MODE2/2336", CueForm::kUnsupported)},
    SheetCase{"Cdg", kFile + "TRACK 01 CDG\n" + kIndex,
        with_form(ok("disc.bin"), "CDG", CueForm::kUnsupported)},
    SheetCase{"CrLf", "FILE \"disc.bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n"
        "    INDEX 01 00:00:00\r\n", ok("disc.bin")},
    SheetCase{"CrOnly", "FILE \"disc.bin\" BINARY\r  TRACK 01 MODE1/2352\r  INDEX 01 00:00:05",
        ok("disc.bin", 5)},
    SheetCase{"LowerCase", "file \"disc.bin\" binary\ntrack 1 mode1/2352\nindex 1 0:02:5\n",
        with_form(ok("disc.bin", 155), "mode1/2352", CueForm::kRawMode1)},
    SheetCase{"Unquoted", "FILE disc.bin BINARY\n" + kMode1 + kIndex, ok("disc.bin")},
    SheetCase{"UnquotedWithSpaces", "FILE  Karvelon Tidewater (Disc 2).bin \tBINARY\n" + kMode1 +
        kIndex, ok("Karvelon Tidewater (Disc 2).bin")},
    SheetCase{"DriveAndBackslashes", "FILE \"D:\\Games\\Karvelon (Disc 2) (Track 1).bin\" BINARY\n" +
        kMode1 + kIndex, ok("D:\\Games\\Karvelon (Disc 2) (Track 1).bin")},
    SheetCase{"Utf8Name", "FILE \"\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0.bin\" BINARY\n" + kMode1 +
        kIndex, ok("\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0.bin")},
    SheetCase{"ByteOrderMarkAndOtherLines", "\xEF\xBB\xBFREM GENRE Game\r\nCATALOG 0000000000000\r\n"
        "PERFORMER \"K\"\r\nTITLE \"T\"\r\nSONGWRITER \"S\"\r\nCDTEXTFILE \"t.cdt\"\r\n\r\n" + kFile +
        "\tTRACK 01 MODE1/2352\r\n\t\tFLAGS DCP\r\n  ISRC ABCDE1234567\r\n  PREGAP 00:02:00\r\n"
        "\t INDEX 01 00:00:00\r\n  POSTGAP 00:02:00\r\n", ok("disc.bin")},
    SheetCase{"Wave", "FILE \"d.wav\" WAVE\nTRACK 01 AUDIO\n" + kIndex,
        of_type(with_form(ok("d.wav"), "AUDIO", CueForm::kUnsupported), CueFileType::kWave)},
    SheetCase{"LongestName", "FILE \"" + kLongName + "\" BINARY\n" + kMode1 + kIndex, ok(kLongName)},
    SheetCase{"Empty", "", refused(CueRead::kNoTrack)},
    SheetCase{"NoTrack", "REM nothing\n" + kFile, refused(CueRead::kNoTrack)},
    SheetCase{"TrackBeforeFile", kMode1 + kFile + kIndex, refused(CueRead::kTrackBeforeFile)},
    SheetCase{"NoIndex01", kFile + kMode1 + "INDEX 00 00:00:00\n", refused(CueRead::kNoIndex01)},
    SheetCase{"NoIndex01BeforeNextTrack", kFile + kMode1 + "TRACK 02 AUDIO\n" + kIndex,
        refused(CueRead::kNoIndex01)},
    SheetCase{"NextTrackWithoutIndex", kSheet + "TRACK 02 AUDIO\n",
        refused(CueRead::kNextTrackWithoutIndex)},
    SheetCase{"Seconds60", kFile + kMode1 + "INDEX 01 00:60:00\n", refused(CueRead::kBadMsf)},
    SheetCase{"Frames75", kFile + kMode1 + "INDEX 01 00:00:75\n", refused(CueRead::kBadMsf)},
    SheetCase{"NextTrackBeforeData", kFile + kMode1 + "INDEX 01 00:02:00\nTRACK 02 AUDIO\n"
        "INDEX 01 00:01:00\n", refused(CueRead::kNextTrackTooSoon)},
    SheetCase{"NextTrackWhereDataStarts", kSheet + "TRACK 02 AUDIO\n" + kIndex,
        refused(CueRead::kNextTrackTooSoon)},
    SheetCase{"NameTooLong", "FILE \"" + kLongName + "n\" BINARY\n" + kMode1 + kIndex,
        refused(CueRead::kNameTooLong)},
    SheetCase{"UnknownFileType", "FILE \"d.bin\" ISO\n" + kMode1 + kIndex,
        refused(CueRead::kBadFileLine)},
    SheetCase{"UnclosedQuote", "FILE \"d.bin BINARY\n" + kMode1 + kIndex,
        refused(CueRead::kBadFileLine)},
    SheetCase{"NulInName", std::string("FILE \"d\0.bin\" BINARY\n", 21) + kMode1 + kIndex,
        refused(CueRead::kBadFileLine)},
    SheetCase{"TrackZero", kFile + "TRACK 00 MODE1/2352\n" + kIndex,
        refused(CueRead::kBadTrackLine)},
    SheetCase{"IndexWithoutTime", kFile + kMode1 + "INDEX 01\n", refused(CueRead::kBadIndexLine)}),
    [](const auto& i) { return std::string(i.param.name); });
// clang-format on

}  // namespace
}  // namespace kv9
