#include <windows.h>

#include <bit>
#include <thread>

#include "platform/processor_count.h"

namespace kv9 {

int usable_processors() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) && process != 0)
    return std::popcount(static_cast<uint64_t>(process));
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? static_cast<int>(n) : 1;
}

}  // namespace kv9
