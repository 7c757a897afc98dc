#include "platform/explorer_start.h"

#include <gtest/gtest.h>

#include <string>

namespace kv9 {
namespace {

struct StartCase {
  const char* name;
  ConsoleFacts facts;
  ConsoleStart start;
};
class ExplorerStart : public testing::TestWithParam<StartCase> {};

TEST_P(ExplorerStart, WaitsOnlyInAConsoleOfItsOwn) {
  EXPECT_EQ(console_start(GetParam().facts), GetParam().start);
}

// Facts as Windows gives them: Explorer starts the tool alone on a new console; cmd and
// PowerShell share theirs; a pipe or a file stands for a redirected stream; Wine started from a
// Unix shell gives the tool a console of its own inside a terminal that stays.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Starts, ExplorerStart, testing::Values(
    StartCase{"DoubleClicked", {1, true, false, 1}, ConsoleStart::kDoubleClicked},
    StartCase{"ImageDropped", {1, true, false, 2}, ConsoleStart::kDropped},
    StartCase{"FromCmd", {2, true, false, 2}, ConsoleStart::kFromConsole},
    StartCase{"FromCmdWithoutArguments", {3, true, false, 1}, ConsoleStart::kFromConsole},
    StartCase{"NoConsole", {0, false, false, 2}, ConsoleStart::kFromConsole},
    StartCase{"OwnConsoleOutputRedirected", {1, false, false, 2}, ConsoleStart::kFromConsole},
    StartCase{"WineInAUnixTerminal", {1, true, true, 1}, ConsoleStart::kFromConsole}),
    [](const auto& i) { return std::string(i.param.name); });
// clang-format on

}  // namespace
}  // namespace kv9
