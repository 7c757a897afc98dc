#include "common/cue_sheet.h"

#include <gtest/gtest.h>

#include <string>

namespace kv9 {
namespace {

// A sheet's first track as one line: "FILE TYPE TRACK FORM-TEXT FORM INDEX-01 NEXT" (NEXT: the
// next track's first index in the same file, or "-"), or "refused WHY".
std::string reading(const std::string& sheet) {
  static const char* const kWhy[] = {"",
                                     "no track",
                                     "track before file",
                                     "no index 01",
                                     "next track without index",
                                     "bad time",
                                     "next track too soon",
                                     "bad file line",
                                     "name too long",
                                     "bad track line",
                                     "bad index line"};
  static const char* const kTypes[] = {"binary", "motorola", "wave", "mp3", "aiff"};
  static const char* const kForms[] = {"cooked", "raw1", "raw2", "unsupported"};
  CueTrack t;
  const CueRead r = read_cue_sheet(sheet.data(), sheet.size(), t);
  if (r != CueRead::kOk) return std::string("refused ") + kWhy[static_cast<int>(r)];
  return std::string(t.file.data()) + " " + kTypes[static_cast<int>(t.file_type)] + " " +
         std::to_string(t.number) + " " + t.form_text.data() + " " +
         kForms[static_cast<int>(t.form)] + " " + std::to_string(t.index01_frame) + " " +
         (t.ends_at_next_track ? std::to_string(t.next_track_frame) : "-");
}

struct SheetCase {
  const char* name;
  std::string sheet;
  std::string reading;
};
class CueSheet : public testing::TestWithParam<SheetCase> {};

TEST_P(CueSheet, ReadsTheFirstTrack) {
  EXPECT_EQ(reading(GetParam().sheet), GetParam().reading);
}

const std::string kFile = "FILE \"disc.bin\" BINARY\n";
const std::string kMode1 = "  TRACK 01 MODE1/2352\n";
const std::string kIndex = "    INDEX 01 00:00:00\n";
const std::string kSheet = kFile + kMode1 + kIndex;
const std::string kLongName(kMaxPathBytes - 1, 'n');

// clang-format off
INSTANTIATE_TEST_SUITE_P(Sheets, CueSheet, testing::Values(
    SheetCase{"OneTrack", kSheet, "disc.bin binary 1 MODE1/2352 raw1 0 -"},
    SheetCase{"FilePerTrack", "FILE \"d (Track 1).bin\" BINARY\n" + kMode1 + kIndex +
        "FILE \"d (Track 2).bin\" BINARY\n  TRACK 02 AUDIO\n    INDEX 00 00:00:00\n"
        "    INDEX 01 00:02:00\n", "d (Track 1).bin binary 1 MODE1/2352 raw1 0 -"},
    SheetCase{"AudioAfterDataInOneFile", kSheet + "  TRACK 02 AUDIO\n    INDEX 00 00:04:00\n"
        "    INDEX 01 00:06:00\n", "disc.bin binary 1 MODE1/2352 raw1 0 300"},
    SheetCase{"NextTrackWithoutIndex00", kSheet + "  TRACK 02 AUDIO\n    INDEX 01 01:00:00\n",
        "disc.bin binary 1 MODE1/2352 raw1 0 4500"},
    SheetCase{"PregapInTheFile", kFile + kMode1 + "INDEX 00 00:00:00\nINDEX 01 00:02:00\n",
        "disc.bin binary 1 MODE1/2352 raw1 150 -"},
    SheetCase{"Cooked", kFile + "TRACK 01 MODE1/2048\n" + kIndex,
        "disc.bin binary 1 MODE1/2048 cooked 0 -"},
    SheetCase{"Mode2", kFile + "TRACK 01 MODE2/2352\n" + kIndex,
        "disc.bin binary 1 MODE2/2352 raw2 0 -"},
    SheetCase{"Mode2Of2336", kFile + "TRACK 01 MODE2/2336\n" + kIndex,
        "disc.bin binary 1 MODE2/2336 unsupported 0 -"},
    SheetCase{"CrOnly", "FILE \"disc.bin\" BINARY\r  TRACK 01 MODE1/2352\r  INDEX 01 00:00:05",
        "disc.bin binary 1 MODE1/2352 raw1 5 -"},
    SheetCase{"LowerCase", "file \"disc.bin\" motorola\ntrack 1 mode1/2352\nindex 1 0:02:5\n",
        "disc.bin motorola 1 mode1/2352 raw1 155 -"},
    SheetCase{"UnquotedWithSpaces", "FILE  Karvelon Tidewater (Disc 2).bin \tBINARY\n" + kMode1 +
        kIndex, "Karvelon Tidewater (Disc 2).bin binary 1 MODE1/2352 raw1 0 -"},
    SheetCase{"DriveAndBackslashes", "FILE \"D:\\Games\\K (Disc 2) (Track 1).bin\" BINARY\n" +
        kMode1 + kIndex, "D:\\Games\\K (Disc 2) (Track 1).bin binary 1 MODE1/2352 raw1 0 -"},
    SheetCase{"ByteOrderMarkCrLfAndOtherLines", "\xEF\xBB\xBFREM GENRE Game\r\nCATALOG 0000000000000\r\n"
        "PERFORMER \"K\"\r\nTITLE \"T\"\r\nSONGWRITER \"S\"\r\nCDTEXTFILE \"t.cdt\"\r\n\r\n"
        "FILE \"disc.bin\" BINARY\r\n\tTRACK 01 MODE1/2352\r\n\t\tFLAGS DCP\r\n  ISRC ABCDE1234567\r\n"
        "  PREGAP 00:02:00\r\n\t INDEX 01 00:00:00\r\n  POSTGAP 00:02:00\r\n",
        "disc.bin binary 1 MODE1/2352 raw1 0 -"},
    SheetCase{"Wave", "FILE \"d.wav\" WAVE\nTRACK 01 AUDIO\n" + kIndex,
        "d.wav wave 1 AUDIO unsupported 0 -"},
    SheetCase{"LongestName", "FILE \"" + kLongName + "\" BINARY\n" + kMode1 + kIndex,
        kLongName + " binary 1 MODE1/2352 raw1 0 -"},
    SheetCase{"NoTrack", "REM nothing\n" + kFile, "refused no track"},
    SheetCase{"TrackBeforeFile", kMode1 + kFile + kIndex, "refused track before file"},
    SheetCase{"NoIndex01BeforeNextTrack", kFile + kMode1 + "INDEX 00 00:00:00\nTRACK 02 AUDIO\n" +
        kIndex, "refused no index 01"},
    SheetCase{"NextTrackWithoutIndex", kSheet + "TRACK 02 AUDIO\n",
        "refused next track without index"},
    SheetCase{"Seconds60", kFile + kMode1 + "INDEX 01 00:60:00\n", "refused bad time"},
    SheetCase{"Frames75", kFile + kMode1 + "INDEX 01 00:00:75\n", "refused bad time"},
    SheetCase{"NextTrackWhereDataStarts", kSheet + "TRACK 02 AUDIO\n" + kIndex,
        "refused next track too soon"},
    SheetCase{"NameTooLong", "FILE \"" + kLongName + "n\" BINARY\n" + kMode1 + kIndex,
        "refused name too long"},
    SheetCase{"UnclosedQuote", "FILE \"d.bin BINARY\n" + kMode1 + kIndex, "refused bad file line"},
    SheetCase{"NulInName", std::string("FILE \"d\0.bin\" BINARY\n", 21) + kMode1 + kIndex,
        "refused bad file line"},
    SheetCase{"TrackZero", kFile + "TRACK 00 MODE1/2352\n" + kIndex, "refused bad track line"},
    SheetCase{"IndexWithoutTime", kFile + kMode1 + "INDEX 01\n", "refused bad index line"}),
    [](const auto& i) { return std::string(i.param.name); });
// clang-format on

}  // namespace
}  // namespace kv9
