// Test support: a fresh temporary directory per test, and running a real executable in it with
// its console output captured.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kv9::test {

// Creates a new empty directory under the system temp directory; removes it when destroyed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

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

// Runs `program` with `args` in directory `cwd` and waits for it.
RunResult run_program(const std::filesystem::path& cwd, const std::string& program,
                      const std::vector<std::string>& args);

// Runs one of the project's tools (vidscan, vidsound, vidconv, vidcopy) from the build tree.
RunResult run_tool(const std::filesystem::path& cwd, const std::string& tool,
                   const std::vector<std::string>& args);

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& bytes);

// The extractors of this build (videxport where FFmpeg's libraries were found), and with them
// the scanner.
std::vector<const char*> extractors();
std::vector<const char*> all_tools();

// True when a program of that name is on the PATH (ffmpeg, ffprobe, sox).
bool have_program(const std::string& name);

}  // namespace kv9::test
