// The Windows build started as Explorer starts it: alone on a console of its own, which closes
// when the tool ends. Under Wine that console is a terminal of tmux, with TERM unset as in a
// Windows session. By a double-click the tool shows its usage text and what it is; with an
// image dropped on it (a full path; the current folder elsewhere) it runs and names the folder
// of its outputs; both then wait for a key. With TERM set (a Unix terminal running Wine, which
// stays when the tool ends) it runs as from any console.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "support/movie_files.h"

namespace kv9 {
namespace {

namespace fs = std::filesystem;

std::string in_quotes(const std::string& s) {
  std::string q = "'";
  return q.append(s).append("'");
}

// Runs vidscan.exe through the runner in a terminal of tmux, in `dir`, without TERM as Explorer
// starts it or with TERM as a Unix terminal has it. Once the tool asks for a key and still runs
// a second later, presses one every fifth of a second until it ends (within 60 s). The output is
// the terminal's screen, each line as the tool wrote it, without the empty ones (which Wine's
// console does not always draw).
struct OwnConsoleRun {
  int status = -1;
  int keys = 0;  // pressed before the tool ended
  std::string screen;
};
OwnConsoleRun run_on_own_console(const fs::path& dir, const std::string& args, bool term) {
  const std::string tool = std::string(term ? "env TERM=xterm " : "env -u TERM ") +
                           in_quotes(test::runner()) + " " + in_quotes(test::tool_file("vidscan")) +
                           " " + args;
  const std::string session =
      "t() { tmux -L kv9test-$$ -f /dev/null \"$@\"; }; keys=0; asked=0; "
      "t new-session -d -x 200 -y 50 \"$1; echo \\$? >status; sleep 60\"; "
      "for i in $(seq 300); do [ -f status ] && break; "
      "if t capture-pane -p | grep -q 'close this window'; then "
      "[ $asked = 1 ] && t send-keys x && keys=$((keys + 1)); asked=1; sleep 1; fi; "
      "sleep 0.2; done; "
      "t capture-pane -p -J | grep -v '^$' >screen; t kill-server; echo $(cat status) $keys";
  const auto r = test::run_program(dir, "sh", {"-c", session, "sh", tool});
  OwnConsoleRun run;
  std::istringstream(r.output) >> run.status >> run.keys;
  run.screen = test::read_file(dir / "screen");
  return run;
}

struct Start {
  const char* name;
  bool dropped;  // the image's full path as the argument, else none
  bool term;
  bool waits;  // for a key before it ends
  int status;
  std::vector<std::string> shown;   // each on the screen ({home}: the current folder)
  std::vector<std::string> absent;  // none of them
};
class ExplorerStart : public testing::TestWithParam<Start> {};

TEST_P(ExplorerStart, SaysWhatHappenedAndWaitsForAKey) {
  if (!test::windows_tools()) GTEST_SKIP() << "the Windows build's start from Explorer";
  if (!test::have_program("tmux")) GTEST_SKIP() << "no tmux for a terminal";
  const Start& c = GetParam();
  test::TempDir dir;
  test::write_disc(dir.path(), test::back_to_back(1, {2}), false);
  fs::create_directory(dir / "home");
  std::string image = "Z:" + (dir / "kv9disc1.img").string(), home = "Z:" + (dir / "home").string();
  std::replace(image.begin(), image.end(), '/', '\\');
  std::replace(home.begin(), home.end(), '/', '\\');
  const auto r = run_on_own_console(dir / "home", c.dropped ? in_quotes(image) : "", c.term);
  EXPECT_EQ(r.status, c.status) << r.screen;
  EXPECT_EQ(r.keys > 0, c.waits) << r.screen;
  for (std::string s : c.shown) {
    if (const auto at = s.find("{home}"); at != std::string::npos) s.replace(at, 6, home);
    EXPECT_NE(r.screen.find(s), std::string::npos) << s << "\nin: " << r.screen;
  }
  for (const std::string& s : c.absent) EXPECT_EQ(r.screen.find(s), std::string::npos) << s;
  EXPECT_EQ(fs::exists(dir / "home" / "kv9cdadr.ini"), c.dropped);
}

const std::string kUsage = "\nUSAGE:vidscan D:kv9disc?.img\nvidscan: no disc image given\n";
const std::string kWhat =
    "\nA command-line program: run it from a console in the folder for its outputs.\n"
    "Press a key to close this window.\n";
const std::string kScanned = "Found! ID=0: 0x00004000, 0x2 frame\nwrite kv9cdadr.ini file\n";
const std::string kFolder =
    "The tool writes its outputs in the folder {home}\nPress a key to close this window.\n";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Windows, ExplorerStart, testing::Values(
    Start{"DoubleClicked", false, false, true, 2, {kUsage, kWhat}, {"writes its outputs"}},
    Start{"ImageDropped", true, false, true, 0, {kScanned + kFolder}, {kWhat}},
    Start{"UnixTerminalRunsAsAConsole", true, true, false, 0, {kScanned}, {"Press a key"}}),
    [](const auto& i) { return std::string(i.param.name); });
// clang-format on

}  // namespace
}  // namespace kv9
