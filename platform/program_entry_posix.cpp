#include "platform/program_entry.h"

int main(int argc, char** argv) {
  return kv9::tool_main(argc, argv);
}
