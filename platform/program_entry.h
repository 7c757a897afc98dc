// Where a tool starts. The system's own entry point (program_entry_<system>.cpp, linked into
// every tool) hands each tool's main its arguments as UTF-8 text.
#pragma once

namespace kv9 {

int tool_main(int argc, char** argv);

}  // namespace kv9
