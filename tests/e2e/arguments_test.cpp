// Command lines of every tool that are refused, or taken with a change: standard output is the
// usage text alone, standard error says why in one line, and nothing is read or written.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace kv9 {
namespace {

using test::read_file;
using test::run_tool;

const std::string kBanner =
    "\nkv9tools - movie tools for the Karvelon Tidewater disc images\n"
    "documentation: README.md and the man pages of the kv9tools project\n\n";

std::string usage(const std::string& tool) {
  return kBanner + "USAGE:" + tool + " D:kv9disc?.img" + (tool == "vidscan" ? "" : " <n-m>") + "\n";
}

struct ArgumentCase {
  const char* name;
  const char* tool;
  std::vector<std::string> args;
  int status;
  std::string output;  // "usage": the tool's usage text
  std::string errors;  // after "<tool>: "; empty: nothing on standard error
};

class Arguments : public testing::TestWithParam<ArgumentCase> {};

TEST_P(Arguments, AreAnsweredOnTheRightStream) {
  const ArgumentCase& c = GetParam();
  test::TempDir dir;
  const std::string ini = "[kv9disc1.img]\nid=0, address=0x1, frame=0x1\n";
  test::write_file(dir / "kv9cdadr.ini", ini);
  const auto r = run_tool(dir.path(), c.tool, c.args);
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(r.output, c.output == "usage" ? usage(c.tool) : c.output);
  EXPECT_EQ(r.errors, c.errors.empty() ? "" : std::string(c.tool) + ": " + c.errors + "\n");
  EXPECT_EQ(read_file(dir / "kv9cdadr.ini"), ini);
}

const std::string kNotAnImage =
    "' is not a disc image: the name must end in kv9disc1.img to "
    "kv9disc4.img";
const std::string kNotARange = "' is not a movie id or range: give n or n-m, as in 5 or 2-7";

INSTANTIATE_TEST_SUITE_P(
    EveryTool, Arguments,
    testing::Values(
        ArgumentCase{"ScanNone", "vidscan", {}, 2, "usage", "no disc image given"},
        ArgumentCase{"ScanUpperCase",
                     "vidscan",
                     {"KV9DISC1.IMG"},
                     2,
                     "usage",
                     "'KV9DISC1.IMG" + kNotAnImage},
        ArgumentCase{"SoundNone", "vidsound", {}, 2, "usage", "no disc image given"},
        ArgumentCase{"SoundNotADigit",
                     "vidsound",
                     {"d/kv9discA.img"},
                     2,
                     "usage",
                     "'d/kv9discA.img" + kNotAnImage},
        ArgumentCase{"SoundTrailingDash",
                     "vidsound",
                     {"kv9disc1.img", "3-"},
                     2,
                     "usage",
                     "'3-" + kNotARange},
        ArgumentCase{
            "CopyLetters", "vidcopy", {"kv9disc1.img", "abc"}, 2, "usage", "'abc" + kNotARange},
        ArgumentCase{"ConvTooLarge",
                     "vidconv",
                     {"kv9disc2.img", "4294967296"},
                     2,
                     "usage",
                     "'4294967296" + kNotARange},
        // A range beyond the disc's ids is clamped, and said so; the run goes on.
        ArgumentCase{"CopyClampedToLastId",
                     "vidcopy",
                     {"kv9disc1.img", "99"},
                     1,
                     "cannot open file kv9disc1.img\n",
                     "range '99' taken as 30: disc 1 has movie ids 0 to 30"},
        ArgumentCase{"SoundClampedBothEnds",
                     "vidsound",
                     {"kv9disc3.img", "-5-99"},
                     1,
                     "cannot open file kv9disc3.img\n",
                     "range '-5-99' taken as 0-31: disc 3 has movie ids 0 to 31"},
        ArgumentCase{"ConvWithinTheDisc",
                     "vidconv",
                     {"kv9disc4.img", "0-6"},
                     1,
                     "cannot open file kv9disc4.img\n",
                     ""}),
    [](const testing::TestParamInfo<ArgumentCase>& i) { return std::string(i.param.name); });

TEST(Arguments, HelpSaysWhatTheToolDoesAndVersionItsVersion) {
  test::TempDir dir;
  for (const char* tool : test::all_tools()) {
    const auto help = run_tool(dir.path(), tool, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.output.rfind(usage(tool) + "\n", 0), 0u) << tool;
    EXPECT_NE(help.output.find("kv9cdadr.ini"), std::string::npos) << tool;
    EXPECT_NE(help.output.find("Exit status: 0 "), std::string::npos) << tool;
    const auto version = run_tool(dir.path(), tool, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output.rfind("kv9tools ", 0), 0u);
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace kv9
