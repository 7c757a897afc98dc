#include "common/temp_names.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace kv9 {
namespace {

// Pending files at once: every worker's movie, those waiting for their turn, the address file.
inline constexpr int kCleanupSlots = 128;

struct CleanupSlot {
  std::atomic<bool> taken{false};  // the slot belongs to a file
  std::atomic<bool> armed{false};  // its path is whole and the file may exist
  char path[kMaxPathBytes];
};
CleanupSlot slots[kCleanupSlots];

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

int arm_cleanup(const char* path) {
  for (int i = 0; i < kCleanupSlots; ++i) {
    bool free = false;
    if (!slots[i].taken.compare_exchange_strong(free, true)) continue;
    std::snprintf(slots[i].path, sizeof slots[i].path, "%s", path);
    slots[i].armed.store(true);
    return i;
  }
  return -1;
}

void disarm_cleanup(int slot) {
  if (slot < 0) return;
  slots[slot].armed.store(false);
  slots[slot].taken.store(false);
}

void remove_armed_files(void (*remove)(const char* path)) {
  for (CleanupSlot& s : slots) {
    if (s.armed.load()) remove(s.path);
  }
}

}  // namespace kv9
