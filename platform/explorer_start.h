// How a tool started from Windows Explorer differs from one started from a console. Explorer
// gives the tool a console of its own, which closes the moment the tool ends: by a double-click
// (no arguments) the tool shows its usage text and says that it is a command-line program; with
// an image dropped on its .exe it runs as from a console and then names the folder the outputs
// went to (Explorer starts it in the user's home folder); either way it then waits for a key.
// Started from a console (cmd, PowerShell, a Unix terminal running Wine), or with its input or
// output redirected, it runs as it always does. This is the decision alone, free of the system's
// headers; program_entry_windows.cpp gathers the facts and acts on it.
#pragma once

namespace kv9 {

enum class ConsoleStart {
  kFromConsole,    // run as always
  kDoubleClicked,  // no arguments: the usage text, what the tool is, then a key
  kDropped,        // arguments: the run, the folder of the outputs, then a key
};

struct ConsoleFacts {
  int processes_on_console;  // attached to the tool's console, the tool included (0: none)
  bool streams_on_console;   // standard input, output and error are all that console
  bool terminal_named;       // TERM is set: a terminal that stays after the tool (Wine's)
  int argc;                  // the program's name included
};

constexpr ConsoleStart console_start(const ConsoleFacts& f) {
  if (f.processes_on_console != 1 || !f.streams_on_console || f.terminal_named)
    return ConsoleStart::kFromConsole;
  return f.argc > 1 ? ConsoleStart::kDropped : ConsoleStart::kDoubleClicked;
}

}  // namespace kv9
