#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/explorer_start.h"
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

kv9::ConsoleFacts console_facts(int argc) {
  std::array<DWORD, 2> ids{};  // two tell whether the tool is alone on its console
  const DWORD attached = ::GetConsoleProcessList(ids.data(), static_cast<DWORD>(ids.size()));
  return {
      static_cast<int>(attached),
      is_console(STD_INPUT_HANDLE) && is_console(STD_OUTPUT_HANDLE) && is_console(STD_ERROR_HANDLE),
      ::GetEnvironmentVariableW(L"TERM", nullptr, 0) > 0, argc};
}

// The current folder, where every tool writes its outputs, as UTF-8.
std::string current_folder() {
  const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
  std::wstring folder(n, L'\0');
  if (n == 0 || ::GetCurrentDirectoryW(n, folder.data()) + 1 != n) return ".";
  return utf8_of(folder.c_str());
}

// Waits for a key pressed from now on (keys pressed while the tool ran do not count).
void wait_for_key() {
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  ::FlushConsoleInputBuffer(input);
  INPUT_RECORD event;
  DWORD got = 0;
  while (::ReadConsoleInputW(input, &event, 1, &got) && got == 1) {
    if (event.EventType == KEY_EVENT && event.Event.KeyEvent.bKeyDown) return;
  }
}

}  // namespace

// The arguments as the user typed them, whatever the system's code page: from the UTF-16
// command line, as UTF-8. Standard output and standard error stay in text mode, so every line
// ends with CR LF; a console shows their UTF-8 text as such while the tool runs. Started from
// Explorer, in a console of its own, the tool says what it is or where its outputs went, and
// keeps the console open until a key is pressed (platform/explorer_start.h).
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

  const kv9::ConsoleStart start = kv9::console_start(console_facts(argc));
  const bool console = is_console(STD_OUTPUT_HANDLE) || is_console(STD_ERROR_HANDLE);
  const UINT code_page = ::GetConsoleOutputCP();
  if (console) ::SetConsoleOutputCP(CP_UTF8);
  const int status = kv9::tool_main(argc, argv.data());
  std::fflush(stdout);
  std::fflush(stderr);
  if (start != kv9::ConsoleStart::kFromConsole) {
    if (start == kv9::ConsoleStart::kDoubleClicked) {
      std::printf(
          "\nA command-line program: run it from a console in the folder for its outputs.\n");
    } else {
      std::printf("\nThe tool writes its outputs in the folder %s\n", current_folder().c_str());
    }
    std::printf("Press a key to close this window.\n");
    std::fflush(stdout);
    wait_for_key();
  }
  if (console) ::SetConsoleOutputCP(code_page);
  return status;
}
