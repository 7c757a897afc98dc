#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/program_entry.h"

namespace {

std::string utf8_of(const wchar_t* text) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string s(n > 1 ? static_cast<std::size_t>(n - 1) : 0, '\0');
  if (n > 1) ::WideCharToMultiByte(CP_UTF8, 0, text, -1, s.data(), n, nullptr, nullptr);
  return s;
}

bool is_console(DWORD which) {
  DWORD mode;
  return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

}  // namespace

// The arguments as the user typed them, whatever the system's code page: from the UTF-16
// command line, as UTF-8. Standard output and standard error stay in text mode, so every line
// ends with CR LF; a console shows their UTF-8 text as such while the tool runs.
int main() {
  int argc = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (wide == nullptr) return 1;
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(utf8_of(wide[i]));
  ::LocalFree(wide);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const bool console = is_console(STD_OUTPUT_HANDLE) || is_console(STD_ERROR_HANDLE);
  const UINT code_page = ::GetConsoleOutputCP();
  if (console) ::SetConsoleOutputCP(CP_UTF8);
  const int status = kv9::tool_main(argc, argv.data());
  std::fflush(stdout);
  std::fflush(stderr);
  if (console) ::SetConsoleOutputCP(code_page);
  return status;
}
