#include "common/sector_check.h"

#include <cstring>

#include "common/edc.h"

namespace kv9 {
namespace {

uint8_t bcd(uint32_t value) {
  return static_cast<uint8_t>(value / 10 * 16 + value % 10);
}

uint32_t get_le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The EDC stored at `edc_at` against the one of bytes `from`..edc_at-1.
bool edc_matches(const uint8_t* sector, std::size_t from, std::size_t edc_at) {
  return get_le32(sector + edc_at) == edc_crc(sector + from, edc_at - from);
}

}  // namespace

void put_raw_address(uint8_t* at, uint32_t lba) {
  const uint64_t frames = uint64_t{lba} + kLbaAddressOffset;
  at[0] = bcd(static_cast<uint32_t>(frames / kCdFramesPerMinute % kBcdMinutes));
  at[1] = bcd(static_cast<uint32_t>(frames / kCdFramesPerSecond % kCdSecondsPerMinute));
  at[2] = bcd(static_cast<uint32_t>(frames % kCdFramesPerSecond));
}

bool check_raw_sector(const uint8_t* sector, RawMode mode, uint32_t lba) {
  uint8_t address[kRawAddressBytes];
  put_raw_address(address, lba);
  if (std::memcmp(sector, kRawSync.data(), kRawSyncBytes) != 0 ||
      std::memcmp(sector + kRawAddressAt, address, kRawAddressBytes) != 0 ||
      sector[kRawModeAt] != mode_byte(mode)) {
    return false;
  }
  if (mode == RawMode::kMode1) return edc_matches(sector, 0, kMode1EdcAt);
  if (std::memcmp(sector + kSubheaderAt, sector + kSubheaderCopyAt, kSubheaderBytes) != 0) {
    return false;
  }
  if ((sector[kSubmodeAt] & kSubmodeForm2) == 0) {
    return edc_matches(sector, kSubheaderAt, kForm1EdcAt);
  }
  return get_le32(sector + kForm2EdcAt) == 0 || edc_matches(sector, kSubheaderAt, kForm2EdcAt);
}

}  // namespace kv9
