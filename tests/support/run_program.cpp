// Running programs for the end-to-end tests (Linux): the tools under test directly, or the
// Windows build's through its runner.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "support/temp_dir.h"

namespace kv9::test {

namespace fs = std::filesystem;

namespace {

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string from_environment(const char* name, const char* otherwise) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : otherwise;
}

// The folder of the tools under test.
std::string tool_dir() {
  return from_environment("KV9_TOOL_DIR", KV9_BIN_DIR);
}

}  // namespace

std::string runner() {
  return from_environment("KV9_TOOL_RUNNER", "");
}

std::string from_windows_text(const std::string& text) {
  std::string lines;
  for (char c : text) {
    const bool crlf = c == '\n' && !lines.empty() && lines.back() == '\r';
    EXPECT_TRUE(crlf || c != '\n') << "a line without \\r in:\n" << text;
    if (crlf) lines.pop_back();
    lines += c;
  }
  return lines;
}

RunResult run_program(const fs::path& cwd, const std::string& program,
                      const std::vector<std::string>& args, const std::string& environment) {
  // Standard error goes to a file of its own, read once the program has ended.
  char errors[] = "/tmp/kv9stderr-XXXXXX";
  close(mkstemp(errors));
  std::string command = "cd " + quoted(cwd.string()) + " && " + environment + " " + quoted(program);
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

bool windows_tools() {
  return !runner().empty();
}

std::string tool_file(const std::string& name) {
  return (fs::path(tool_dir()) / (windows_tools() ? name + ".exe" : name)).string();
}

std::string with_tools(const std::string& command) {
  if (!windows_tools()) return "PATH=" + quoted(tool_dir()) + ":$PATH; " + command;
  std::string functions;  // one for each tool, starting its .exe through the runner
  for (const char* tool : all_tools())
    functions += std::string(tool) + "() { " + quoted(runner()) + " " + quoted(tool_file(tool)) +
                 " \"$@\"; }; ";
  return functions + command;
}

RunResult run_tool(const fs::path& cwd, const std::string& tool,
                   const std::vector<std::string>& args, int workers) {
  const std::string jobs = workers > 0 ? "KV9_JOBS=" + std::to_string(workers) : "";
  if (!windows_tools()) return run_program(cwd, tool_file(tool), args, jobs);
  std::vector<std::string> all = {tool_file(tool)};
  all.insert(all.end(), args.begin(), args.end());
  RunResult r = run_program(cwd, runner(), all, jobs);
  r.output = from_windows_text(r.output);
  r.errors = from_windows_text(r.errors);
  return r;
}

bool have_program(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace kv9::test
