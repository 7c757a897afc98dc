// Test support: a fresh temporary directory per test, files in it, and the real executables
// run in it with their console captured.
#pragma once

#include <cstdint>
#include <filesystem>
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

// Runs `program` with `args` in directory `cwd` and waits for it.
RunResult run_program(const std::filesystem::path& cwd, const std::string& program,
                      const std::vector<std::string>& args);
// Runs one of the project's tools from the build tree.
RunResult run_tool(const std::filesystem::path& cwd, const std::string& tool,
                   const std::vector<std::string>& args);

// Starts one of the project's tools in `cwd` without waiting for it, its standard output into
// the file `console`; returns its process id.
int start_tool(const std::filesystem::path& cwd, const std::string& tool,
               const std::vector<std::string>& args, const std::filesystem::path& console);

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& bytes);
// Writes a sparse file of `size` bytes: zeros (holes on the disk) but for the pieces, each at its
// offset.
void write_sparse_file(const std::filesystem::path& path, uint64_t size,
                       const std::vector<std::pair<uint64_t, std::string>>& pieces);

// The extractors of this build (videxport where FFmpeg's libraries were found), and with them
// the scanner.
inline std::vector<const char*> extractors() {
#ifdef KV9_HAVE_VIDEXPORT
  return {"vidsound", "vidcopy", "vidconv", "videxport"};
#else
  return {"vidsound", "vidcopy", "vidconv"};
#endif
}
inline std::vector<const char*> all_tools() {
  std::vector<const char*> tools = extractors();
  tools.insert(tools.begin(), "vidscan");
  return tools;
}

// True when a program of that name is on the PATH (ffmpeg, ffprobe, sox).
bool have_program(const std::string& name);

}  // namespace kv9::test
