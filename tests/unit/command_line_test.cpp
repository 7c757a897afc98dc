#include "common/command_line.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace kv9 {
namespace {

struct NameCase {
  const char* name;
  std::string path;
  int disc;  // 0: the name fails the check
};
class ImageName : public testing::TestWithParam<NameCase> {};

TEST_P(ImageName, YieldsTheDiscOrFails) {
  int disc = 0;
  const bool ok = check_image_name(GetParam().path.c_str(), disc);
  EXPECT_EQ((std::pair{ok, ok ? disc : 0}), (std::pair{GetParam().disc != 0, GetParam().disc}));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Names, ImageName, testing::Values(
    NameCase{"Plain", "kv9disc1.img", 1}, NameCase{"Drive", "D:kv9disc4.img", 4},
    NameCase{"InDirectory", "games/mykv9disc3.img", 3},
    NameCase{"LongPath", std::string(300, 'a') + "/kv9disc2.img", 2},
    NameCase{"LongPathDiscNine", std::string(300, 'a') + "kv9disc9.img", 0},
    NameCase{"UpperCase", "KV9DISC1.IMG", 0}, NameCase{"Iso", "kv9disc1.iso", 1},
    NameCase{"Bin", "dumps/kv9disc2.bin", 2}, NameCase{"Cue", "kv9disc3.cue", 3},
    NameCase{"OtherExtension", "kv9disc1.mdf", 0}, NameCase{"UpperExtension", "kv9disc1.ISO", 0},
    NameCase{"Short", "disc1.img", 0}, NameCase{"DiscZero", "kv9disc0.img", 0},
    NameCase{"DiscFive", "kv9disc5.img", 0}, NameCase{"Letter", "kv9discx.img", 0},
    NameCase{"Suffix", "kv9disc1.img.bak", 0},
    NameCase{"DumpSet", "Karvelon Tidewater (Disc 2) (Track 1).bin", 2},
    NameCase{"DumpSetSheet", "C:\\dumps\\Karvelon Tidewater (Disc 4).cue", 4},
    NameCase{"TagAfterOtherParentheses", "KT (Europe) (Disc 3).cue", 3},
    NameCase{"TagInFolderOnly", "(Disc 2)/game.bin", 0},
    NameCase{"TagInWindowsFolderOnly", "D:\\(Disc 2)\\game.bin", 0},
    NameCase{"TagDiscFive", "Game (Disc 5).cue", 0}, NameCase{"TagUnclosed", "Game (Disc 2.cue", 0},
    NameCase{"TagLowerCase", "Game (disc 2).cue", 0}),
    [](const auto& i) { return std::string(i.param.name); });
// clang-format on

struct RangeCase {
  const char* name;
  std::string text;
  int disc;
  bool ok;
  std::array<int32_t, 4> ids;  // first and last id clamped, then as written; -7: untouched
};
class MovieRangeArgument : public testing::TestWithParam<RangeCase> {};

TEST_P(MovieRangeArgument, ParsesAndClamps) {
  const RangeCase& c = GetParam();
  MovieRange r{-7, -7}, asked{-7, -7};
  ASSERT_EQ(parse_movie_range(c.text.c_str(), c.disc, r, &asked), c.ok);
  EXPECT_EQ((std::array{r.first_id, r.last_id, asked.first_id, asked.last_id}), c.ids);
}

const std::array<int32_t, 4> kUntouched = {-7, -7, -7, -7};
// clang-format off
INSTANTIATE_TEST_SUITE_P(Ranges, MovieRangeArgument, testing::Values(
    RangeCase{"One", "5", 2, true, {5, 5, 5, 5}},
    RangeCase{"ReversedIsOne", "3-1", 1, true, {3, 3, 3, 1}},
    RangeCase{"BeyondDiscFour", "40", 4, true, {6, 6, 40, 40}},
    RangeCase{"AtTheCount", "31", 1, true, {30, 30, 31, 31}},
    RangeCase{"LastClamped", "2-99", 3, true, {2, 31, 2, 99}},
    RangeCase{"NegativeLastIsTooLarge", "3--2", 1, true, {3, 30, 3, -2}},
    RangeCase{"NegativeFirst", "-5-7", 1, true, {0, 7, -5, 7}},
    RangeCase{"BlanksAndLetters", " 4abc", 1, true, {4, 4, 4, 4}},
    RangeCase{"LineFeedEndsIt", "1\n-9", 1, true, {1, 1, 1, 1}},
    RangeCase{"LargestInt", "2147483647", 1, true, {30, 30, 2147483647, 2147483647}},
    RangeCase{"BlanksBeforeTheEnd", std::string(253, ' ') + "1", 1, true, {1, 1, 1, 1}},
    RangeCase{"NoEndIn255", std::string(255, '1'), 1, false, kUntouched},
    RangeCase{"Empty", "", 1, false, kUntouched}, RangeCase{"Letters", "abc", 1, false, kUntouched},
    RangeCase{"NegativeSingle", "-5", 1, false, kUntouched},
    RangeCase{"TrailingDash", "3-", 1, false, kUntouched},
    RangeCase{"BlankBeforeDash", "3 -4", 1, false, kUntouched},
    RangeCase{"TooLarge", "2147483648", 1, false, kUntouched},
    RangeCase{"LastTooLarge", "1-99999999999", 1, false, kUntouched}),
    [](const auto& i) { return std::string(i.param.name); });
// clang-format on

}  // namespace
}  // namespace kv9
