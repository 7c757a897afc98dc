#include "support/temp_dir.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace kv9::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  for (;;) {
    path_ = fs::temp_directory_path() /
            ("kv9test-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" +
             std::to_string(rd() % 100000));
    if (fs::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

namespace {
std::string shell_quote(const std::string& s) {
  std::ostringstream q;
  q << '\'';
  for (char c : s) {
    if (c == '\'')
      q << "'\\''";
    else
      q << c;
  }
  q << '\'';
  return q.str();
}
}  // namespace

RunResult run_program(const fs::path& cwd, const std::string& program,
                      const std::vector<std::string>& args) {
  std::ostringstream c;
  c << "cd " << shell_quote(cwd.string()) << " && " << shell_quote(program);
  for (const auto& a : args) c << ' ' << shell_quote(a);
  // Standard error goes to a file of its own, read once the program has ended.
  char errors_path[] = "/tmp/kv9stderr-XXXXXX";
  const int errors_fd = mkstemp(errors_path);
  if (errors_fd < 0) throw std::runtime_error("mkstemp failed");
  close(errors_fd);
  c << " 2>" << shell_quote(errors_path);
  const std::string cmd = c.str();
  RunResult r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) throw std::runtime_error("popen failed: " + cmd);
  char buf[65536];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  r.errors = read_file(errors_path);
  std::remove(errors_path);
  return r;
}

RunResult run_tool(const fs::path& cwd, const std::string& tool,
                   const std::vector<std::string>& args) {
  return run_program(cwd, (fs::path(KV9_BIN_DIR) / tool).string(), args);
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<const char*> extractors() {
  std::vector<const char*> tools = {"vidsound", "vidcopy", "vidconv"};
#ifdef KV9_HAVE_VIDEXPORT
  tools.push_back("videxport");
#endif
  return tools;
}

std::vector<const char*> all_tools() {
  std::vector<const char*> tools = extractors();
  tools.insert(tools.begin(), "vidscan");
  return tools;
}

bool have_program(const std::string& name) {
  std::string cmd = "command -v " + name + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

}  // namespace kv9::test
