#include "common/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace kv9 {
namespace {

struct NameCase {
  const char* name;
  std::string path;
  int disc;  // 0: the name fails the check
};

class ImageName : public testing::TestWithParam<NameCase> {};

TEST_P(ImageName, Check) {
  int disc = 0;
  const bool ok = check_image_name(GetParam().path.c_str(), disc);
  EXPECT_EQ(ok, GetParam().disc != 0);
  if (ok) {
    EXPECT_EQ(disc, GetParam().disc);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, ImageName,
    testing::Values(
        NameCase{"Plain", "kv9disc1.img", 1}, NameCase{"DrivePrefix", "D:kv9disc4.img", 4},
        NameCase{"InDirectory", "games/mykv9disc3.img", 3},
        NameCase{"LongPath", std::string(300, 'a') + "/kv9disc2.img", 2},
        NameCase{"LongPathDiscNine", std::string(300, 'a') + "kv9disc9.img", 0},
        NameCase{"UpperCase", "KV9DISC1.IMG", 0}, NameCase{"OtherExtension", "kv9disc1.iso", 0},
        NameCase{"Short", "disc1.img", 0}, NameCase{"Empty", "", 0},
        NameCase{"DiscZero", "kv9disc0.img", 0}, NameCase{"DiscFive", "kv9disc5.img", 0},
        NameCase{"NotADigit", "kv9discx.img", 0},
        NameCase{"TrailingSuffix", "kv9disc1.img.bak", 0}),
    [](const auto& i) { return std::string(i.param.name); });

struct RangeCase {
  const char* name;
  const char* text;
  int disc;
  bool ok;
  int32_t first;
  int32_t last;
};

class MovieRangeArgument : public testing::TestWithParam<RangeCase> {};

TEST_P(MovieRangeArgument, ParseAndClamp) {
  const RangeCase& c = GetParam();
  MovieRange r{-7, -7};
  EXPECT_EQ(parse_movie_range(c.text, c.disc, r), c.ok) << c.text;
  if (c.ok) {
    EXPECT_EQ(r.first_id, c.first) << c.text;
    EXPECT_EQ(r.last_id, c.last) << c.text;
  } else {
    EXPECT_EQ(r.first_id, -7);  // untouched
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, MovieRangeArgument,
    testing::Values(RangeCase{"One", "5", 2, true, 5, 5},
                    RangeCase{"ReversedIsOne", "3-1", 1, true, 3, 3},
                    RangeCase{"BeyondDiscFour", "40", 4, true, 6, 6},
                    RangeCase{"LastClamped", "2-99", 3, true, 2, 31},
                    RangeCase{"NegativeLastIsTooLarge", "3--2", 1, true, 3, 30},
                    RangeCase{"ZeroToZero", "0-0", 1, true, 0, 0},
                    RangeCase{"NegativeFirst", "-5-7", 1, true, 0, 7},
                    RangeCase{"LeadingBlank", " 4", 1, true, 4, 4},
                    RangeCase{"TrailingLetters", "4abc", 1, true, 4, 4},
                    RangeCase{"TrailingAfterLast", "2-3x", 1, true, 2, 3},
                    RangeCase{"LineFeedEndsIt", "1\n-9", 1, true, 1, 1},
                    RangeCase{"LargestInt", "2147483647", 1, true, 30, 30},
                    RangeCase{"Empty", "", 1, false, 0, 0},
                    RangeCase{"Letters", "abc", 1, false, 0, 0},
                    RangeCase{"NegativeSingle", "-5", 1, false, 0, 0},
                    RangeCase{"TrailingDash", "3-", 1, false, 0, 0},
                    RangeCase{"BlankBeforeDash", "3 -4", 1, false, 0, 0},
                    RangeCase{"TooLargeSingle", "2147483648", 1, false, 0, 0},
                    RangeCase{"TooLargeLast", "1-99999999999", 1, false, 0, 0}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(MovieRangeArgument, NoEndWithinExaminedCharactersIsRefused) {
  MovieRange r;
  EXPECT_FALSE(parse_movie_range(std::string(255, '1').c_str(), 1, r));
  EXPECT_TRUE(parse_movie_range((std::string(253, ' ') + "1").c_str(), 1, r));
}

}  // namespace
}  // namespace kv9
