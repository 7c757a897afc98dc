#include "common/temp_names.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace kv9 {
namespace {

// Pending files at once: every worker's movie, those waiting for their turn, the address file.
inline constexpr int kCleanupSlots = 128;

struct CleanupSlot {
  bool armed = false;  // the path is whole and the file may exist
  char path[kMaxPathBytes];
};
CleanupSlot slots[kCleanupSlots];
std::mutex table_hold;

std::atomic<uint64_t> names_made{0};

uint64_t mix(uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdull;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ull;
  return x ^ (x >> 33);
}

}  // namespace

bool make_temp_name(const char* target, PathText& temp) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  const uint64_t clock =
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  uint64_t bits = mix(clock ^ mix(reinterpret_cast<uintptr_t>(&temp)) ^ mix(++names_made));
  char suffix[7];
  for (int i = 0; i < 6; ++i, bits /= sizeof kLetters - 1) {
    suffix[i] = kLetters[bits % (sizeof kLetters - 1)];
  }
  suffix[6] = '\0';
  return std::snprintf(temp.data(), temp.size(), "%s.%s", target, suffix) < int(temp.size());
}

CleanupHold::CleanupHold() {
  table_hold.lock();
}

CleanupHold::~CleanupHold() {
  table_hold.unlock();
}

int arm_cleanup(const char* path) {
  for (int i = 0; i < kCleanupSlots; ++i) {
    if (slots[i].armed) continue;
    std::snprintf(slots[i].path, sizeof slots[i].path, "%s", path);
    slots[i].armed = true;
    return i;
  }
  return -1;
}

void disarm_cleanup(int slot) {
  if (slot >= 0) slots[slot].armed = false;
}

void remove_armed_files(void (*remove)(const char* path)) {
  table_hold.lock();  // never given back: the process ends holding it
  for (CleanupSlot& s : slots) {
    if (s.armed) remove(s.path);
  }
}

}  // namespace kv9
