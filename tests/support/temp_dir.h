// Test support: a fresh temporary directory per test, files in it, and the real executables
// run in it with their console captured (those, in run_program.cpp, for the end-to-end tests).
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kv9::test {

// A new empty directory under the system temp directory, removed when destroyed.
class TempDir {
 public:
  TempDir();
  ~TempDir() { std::filesystem::remove_all(path_); }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

struct RunResult {
  int status = -1;     // exit status, or -1 when the process did not exit normally
  std::string output;  // everything written to standard output
  std::string errors;  // everything written to standard error
};

// Runs `program` with `args` in directory `cwd`, with the variables of `environment` ("A=1 B=2")
// set, and waits for it.
RunResult run_program(const std::filesystem::path& cwd, const std::string& program,
                      const std::vector<std::string>& args, const std::string& environment = "");

// The tools under test are this build's, or those of the folder KV9_TOOL_DIR; when
// KV9_TOOL_RUNNER names a program (Wine), they are the Windows build's .exe files, started
// through it.
bool windows_tools();
std::string runner();
// The file of a tool of the build under test: "vidscan", or "vidscan.exe" of the Windows build.
std::string tool_file(const std::string& name);
// A shell command in which the tools' names run the tools under test.
std::string with_tools(const std::string& command);

// Runs one of the tools under test, with KV9_JOBS=`workers` if given. The console of a Windows
// program is given as from_windows_text gives it.
RunResult run_tool(const std::filesystem::path& cwd, const std::string& tool,
                   const std::vector<std::string>& args, int workers = 0);
// Text that a Windows program wrote in text mode, with "\n" line ends; every line of it must have
// ended in "\r\n" (a failure of the test otherwise).
std::string from_windows_text(const std::string& text);

std::string read_file(const std::filesystem::path& path);
// The regular files of a folder (links followed), by name, with their bytes.
std::map<std::string, std::string> folder_files(const std::filesystem::path& dir);
void write_file(const std::filesystem::path& path, const std::string& bytes);
// Writes a sparse file of `size` bytes: zeros (holes on the disk) but for the pieces, each at its
// offset.
void write_sparse_file(const std::filesystem::path& path, uint64_t size,
                       const std::vector<std::pair<uint64_t, std::string>>& pieces);

// The extractors under test (videxport where this build found FFmpeg's libraries: the Windows
// build under test then has videxport.exe too), and with them the scanner.
inline std::vector<const char*> extractors() {
  std::vector<const char*> tools = {"vidsound", "vidcopy", "vidconv"};
#ifdef KV9_HAVE_VIDEXPORT
  tools.push_back("videxport");
#endif
  return tools;
}
inline std::vector<const char*> all_tools() {
  std::vector<const char*> tools = extractors();
  tools.insert(tools.begin(), "vidscan");
  return tools;
}

// True when a program of that name is on the PATH (ffmpeg, ffprobe, sox).
bool have_program(const std::string& name);

}  // namespace kv9::test
