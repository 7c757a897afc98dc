#include "support/temp_dir.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kv9::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string name = (fs::temp_directory_path() / "kv9test-XXXXXX").string();
  path_ = mkdtemp(name.data());
  fs::permissions(path_, fs::perms(0755));  // others may come in: tests run tools as them
}

namespace {

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace

RunResult run_program(const fs::path& cwd, const std::string& program,
                      const std::vector<std::string>& args) {
  // Standard error goes to a file of its own, read once the program has ended.
  char errors[] = "/tmp/kv9stderr-XXXXXX";
  close(mkstemp(errors));
  std::string command = "cd " + quoted(cwd.string()) + " && " + quoted(program);
  for (const auto& a : args) command.append(" ").append(quoted(a));
  FILE* p = popen(command.append(" 2>").append(errors).c_str(), "r");
  RunResult r;
  char buf[65536];
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.output.append(buf, n);
  const int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.errors = read_file(errors);
  std::remove(errors);
  return r;
}

RunResult run_tool(const fs::path& cwd, const std::string& tool,
                   const std::vector<std::string>& args) {
  return run_program(cwd, (fs::path(KV9_BIN_DIR) / tool).string(), args);
}

int start_tool(const fs::path& cwd, const std::string& tool, const std::vector<std::string>& args,
               const fs::path& console) {
  const std::string program = (fs::path(KV9_BIN_DIR) / tool).string();
  std::vector<std::string> all = {program};
  all.insert(all.end(), args.begin(), args.end());
  const pid_t pid = fork();
  if (pid != 0) return pid;
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (chdir(cwd.c_str()) != 0 || !freopen(console.c_str(), "w", stdout)) _exit(127);
  execv(program.c_str(), argv.data());
  _exit(127);
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

void write_sparse_file(const fs::path& path, uint64_t size,
                       const std::vector<std::pair<uint64_t, std::string>>& pieces) {
  write_file(path, "");
  fs::resize_file(path, size);
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  for (const auto& [at, bytes] : pieces) f.seekp(std::streamoff(at)) << bytes;
}

bool have_program(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace kv9::test
