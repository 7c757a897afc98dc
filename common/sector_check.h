// Raw 2352-byte CD-ROM sectors as a BIN image holds them (ECMA-130; Mode 2 as CD-ROM XA lays
// it), and the check of one: sync, address, mode, subheader and error-detection code.
//
// clang-format off
//    at  bytes  Mode 1
//     0   12    sync: 00, ten FF, 00
//    12    3    address: minute, second, frame in BCD of the sector's LBA + 150 (75 a second)
//    15    1    mode: 1
//    16 2048    user data
//  2064    4    EDC over bytes 0..2063, little-endian
//  2068    8    zero
//  2076  172    ECC P parity, then at 2248 104 bytes of Q parity
//
//    at  bytes  Mode 2 (sync, address as Mode 1; mode 2)
//    16    4    subheader: file, channel, submode, coding; submode bit 0x20 set: Form 2
//    20    4    the subheader again
//         Form 1:
//    24 2048    user data
//  2072    4    EDC over bytes 16..2071
//  2076  276    ECC P and Q parity, computed with the address and mode bytes taken as zero
//         Form 2:
//    24 2324    user data
//  2348    4    EDC over bytes 16..2347; 0 means none
// clang-format on
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/layout.h"

namespace kv9 {

enum class RawMode { kMode1, kMode2 };

// --- Every raw sector ----------------------------------------------------------------------------
inline constexpr std::size_t kRawSyncBytes = 12;
// The sync pattern opening every data sector.
inline constexpr std::array<uint8_t, kRawSyncBytes> kRawSync = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                                0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
inline constexpr std::size_t kRawAddressAt = kRawSyncBytes;
inline constexpr std::size_t kRawAddressBytes = 3;  // minute, second, frame in BCD
inline constexpr std::size_t kRawModeAt = kRawAddressAt + kRawAddressBytes;
inline constexpr std::size_t kRawHeaderBytes = kRawAddressBytes + 1;
static_assert(kRawModeAt == 15);

// Addresses: 75 frames (sectors) a second, 60 seconds a minute; LBA 0 lies at 00:02:00. A BCD
// minute holds 0..99: addresses of 100 minutes and more (only in images larger than any disc)
// carry the minute modulo 100.
inline constexpr uint32_t kCdFramesPerSecond = 75;
inline constexpr uint32_t kCdSecondsPerMinute = 60;
inline constexpr uint32_t kCdFramesPerMinute = kCdFramesPerSecond * kCdSecondsPerMinute;
inline constexpr uint32_t kLbaAddressOffset = 2 * kCdFramesPerSecond;
inline constexpr uint32_t kBcdMinutes = 100;
static_assert(kLbaAddressOffset == 150 && kCdFramesPerMinute == 4500);

inline constexpr uint8_t mode_byte(RawMode mode) {
  return mode == RawMode::kMode1 ? 1 : 2;
}

// --- Mode 1 --------------------------------------------------------------------------------------
inline constexpr std::size_t kMode1DataAt = kRawAddressAt + kRawHeaderBytes;
inline constexpr std::size_t kMode1EdcAt = kMode1DataAt + kSectorSize;
inline constexpr std::size_t kMode1ZeroAt = kMode1EdcAt + 4;
inline constexpr std::size_t kMode1ZeroBytes = 8;
static_assert(kMode1DataAt == 16 && kMode1EdcAt == 2064);

// --- Mode 2 --------------------------------------------------------------------------------------
inline constexpr std::size_t kSubheaderAt = kRawAddressAt + kRawHeaderBytes;
inline constexpr std::size_t kSubheaderBytes = 4;
inline constexpr std::size_t kSubheaderCopyAt = kSubheaderAt + kSubheaderBytes;
inline constexpr std::size_t kSubmodeAt = kSubheaderAt + 2;  // in each copy: file, channel first
inline constexpr uint8_t kSubmodeData = 0x08;
inline constexpr uint8_t kSubmodeForm2 = 0x20;
inline constexpr std::size_t kMode2DataAt = kSubheaderCopyAt + kSubheaderBytes;
static_assert(kMode2DataAt == kSectorPrefixBytes);
inline constexpr std::size_t kForm1EdcAt = kMode2DataAt + kSectorSize;
inline constexpr std::size_t kForm2DataBytes = 2324;
inline constexpr std::size_t kForm2EdcAt = kMode2DataAt + kForm2DataBytes;
static_assert(kForm1EdcAt == 2072 && kForm2EdcAt + 4 == kRawSectorSize);

// --- ECC of Mode 1 and Mode 2 Form 1 -------------------------------------------------------------
inline constexpr std::size_t kEccAt = kForm1EdcAt + 4;
inline constexpr std::size_t kEccPBytes = 172;
inline constexpr std::size_t kEccQAt = kEccAt + kEccPBytes;
inline constexpr std::size_t kEccQBytes = 104;
static_assert(kEccAt == kMode1ZeroAt + kMode1ZeroBytes && kEccAt == 2076);
static_assert(kEccQAt + kEccQBytes == kRawSectorSize);

// Where the 2048 bytes of user data of a Mode 1 or Mode 2 Form 1 sector lie.
inline constexpr std::size_t user_data_at(RawMode mode) {
  return mode == RawMode::kMode1 ? kMode1DataAt : kMode2DataAt;
}

// Writes the three BCD address bytes of the sector at `lba` (minute, second, frame).
void put_raw_address(uint8_t* at, uint32_t lba);

// True when the raw sector is whole as a sector at `lba` of a track of `mode`: the sync pattern,
// the address bytes (LBA + 150 in BCD), the mode byte, for Mode 2 the two subheader copies equal,
// and the EDC of its form (a Form 2 EDC of 0 is none, and passes). The ECC is not checked.
bool check_raw_sector(const uint8_t* sector, RawMode mode, uint32_t lba);

}  // namespace kv9
