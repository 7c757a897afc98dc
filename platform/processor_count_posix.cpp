#include <sched.h>

#include <thread>

#include "platform/processor_count.h"

namespace kv9 {

int usable_processors() {
  cpu_set_t set;
  if (::sched_getaffinity(0, sizeof set, &set) == 0)
    return CPU_COUNT(&set) > 0 ? CPU_COUNT(&set) : 1;
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? static_cast<int>(n) : 1;
}

}  // namespace kv9
