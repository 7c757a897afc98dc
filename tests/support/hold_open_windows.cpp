// hold_open FILE PROGRAM [ARGUMENT...]: runs the program while holding FILE open for reading
// the way many Windows programs do, sharing it for reading and writing but not for deletion, so
// that it cannot be replaced meanwhile. Ends with the program's exit status.
#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <string>

namespace {

// An argument as the program's command line carries it (no quotes or final backslash inside).
std::wstring quoted(const wchar_t* arg) {
  return L"\"" + std::wstring(arg) + L"\"";
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 3) return 2;
  const HANDLE held = ::CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 3;
  std::wstring command = quoted(argv[2]);
  for (int i = 3; i < argc; ++i) command += L" " + quoted(argv[i]);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process))
    return 4;
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  ::GetExitCodeProcess(process.hProcess, &status);
  ::CloseHandle(held);
  return static_cast<int>(status);
}
