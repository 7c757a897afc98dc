// Running programs for the end-to-end tests (Linux): the tools under test directly, or the
// Windows build's through its runner.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

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

const std::string& tool_dir() {
  static const std::string dir = from_environment("KV9_TOOL_DIR", KV9_BIN_DIR);
  return dir;
}

const std::string& runner() {
  static const std::string program = from_environment("KV9_TOOL_RUNNER", "");
  return program;
}

}  // namespace

std::string from_windows_text(const std::string& text) {
  std::string lines;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "a line without \\r at byte " << i << " of:\n"
                                                << text;
      if (!lines.empty() && lines.back() == '\r') lines.pop_back();
    }
    lines += text[i];
  }
  return lines;
}

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

bool windows_tools() {
  return !runner().empty();
}

std::string tool_file(const std::string& name) {
  return (fs::path(tool_dir()) / (windows_tools() ? name + ".exe" : name)).string();
}

std::string tool_folder() {
  if (!windows_tools()) return tool_dir();
  // A script for each tool that starts its .exe through the runner, made once per test program.
  static const auto folder = [] {
    auto dir = std::make_unique<TempDir>();
    for (const char* tool : all_tools()) {
      const fs::path script = *dir / tool;
      write_file(script, "#!/bin/sh\nexec " + quoted(runner()) + " " + quoted(tool_file(tool)) +
                             " \"$@\"\n");
      fs::permissions(script, fs::perms::owner_all);
    }
    return dir;
  }();
  return folder->path().string();
}

RunResult run_tool(const fs::path& cwd, const std::string& tool,
                   const std::vector<std::string>& args) {
  if (!windows_tools()) return run_program(cwd, tool_file(tool), args);
  std::vector<std::string> all = {tool_file(tool)};
  all.insert(all.end(), args.begin(), args.end());
  RunResult r = run_program(cwd, runner(), all);
  r.output = from_windows_text(r.output);
  r.errors = from_windows_text(r.errors);
  return r;
}

int start_tool(const fs::path& cwd, const std::string& tool, const std::vector<std::string>& args,
               const fs::path& console) {
  const std::string program = tool_file(tool);
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

bool have_program(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace kv9::test
