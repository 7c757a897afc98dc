#include "common/sector_check.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>

#include "support/reference_edc.h"

namespace kv9 {
namespace {

// Sectors laid out by hand, offsets written out as ECMA-130 and CD-ROM XA give them, the EDC
// from the plain reference; each fault is the sector's only one (a fault in bytes the EDC covers
// is made before the EDC is computed).
enum class Kind { kMode1, kForm1, kForm2, kForm2WithoutEdc };
enum class Fault { kNone, kSyncByte, kSubheaderCopy, kUserDataBit, kEdcByte };

struct CheckCase {
  const char* name;
  Kind kind;
  std::array<uint8_t, 3> address;  // minute, second, frame as written into the sector
  RawMode track;
  uint32_t lba;  // the sector's place in the track, as the check is asked about
  Fault fault;
  bool whole;
};
class RawSectorCheck : public testing::TestWithParam<CheckCase> {};

std::array<uint8_t, 2352> sector_by_hand(const CheckCase& c) {
  std::array<uint8_t, 2352> s{};
  std::mt19937 rng(c.lba);
  for (auto& b : s) b = static_cast<uint8_t>(rng());
  s[0] = s[11] = 0x00;
  for (int i = 1; i <= 10; ++i) s[i] = 0xFF;
  if (c.fault == Fault::kSyncByte) s[6] = 0xFE;
  std::memcpy(&s[12], c.address.data(), 3);
  s[15] = c.kind == Kind::kMode1 ? 1 : 2;
  std::size_t data_at = 16, edc_at = 2064, covered_from = 0;
  if (c.kind != Kind::kMode1) {
    const uint8_t submode = c.kind == Kind::kForm1 ? 0x08 : 0x64;  // data; Form 2 real-time audio
    const uint8_t subheader[4] = {1, 3, submode, 0};
    std::memcpy(&s[16], subheader, 4);
    std::memcpy(&s[20], subheader, 4);
    if (c.fault == Fault::kSubheaderCopy) s[21] ^= 0x01;
    data_at = 24, covered_from = 16, edc_at = c.kind == Kind::kForm1 ? 2072 : 2348;
  }
  uint32_t edc = test::ref_edc(&s[covered_from], edc_at - covered_from);
  if (c.kind == Kind::kForm2WithoutEdc) edc = 0;
  for (int i = 0; i < 4; ++i) s[edc_at + i] = static_cast<uint8_t>(edc >> (8 * i));
  if (c.fault == Fault::kUserDataBit) s[data_at + 700] ^= 0x10;
  if (c.fault == Fault::kEdcByte) s[edc_at + 2] ^= 0x80;
  return s;
}

TEST_P(RawSectorCheck, PassesWholeSectorsOnly) {
  const CheckCase& c = GetParam();
  const std::array<uint8_t, 2352> s = sector_by_hand(c);
  EXPECT_EQ(check_raw_sector(s.data(), c.track, c.lba), c.whole);
}

// LBA 0 lies at 00:02:00; LBA 600 at 00:10:00 (second 10: BCD 0x10, binary 0x0A); LBA 4349 at
// 00:59:74; LBA 4350 at 01:00:00; LBA 449849 at 99:59:74.
constexpr RawMode k1 = RawMode::kMode1, k2 = RawMode::kMode2;
// clang-format off
INSTANTIATE_TEST_SUITE_P(Sectors, RawSectorCheck, testing::Values(
    CheckCase{"Mode1", Kind::kMode1, {0x00, 0x02, 0x00}, k1, 0, Fault::kNone, true},
    CheckCase{"Mode1NextMinute", Kind::kMode1, {0x01, 0x00, 0x00}, k1, 4350, Fault::kNone, true},
    CheckCase{"Mode1LastMinute", Kind::kMode1, {0x99, 0x59, 0x74}, k1, 449849, Fault::kNone, true},
    CheckCase{"Form1", Kind::kForm1, {0x00, 0x10, 0x00}, k2, 600, Fault::kNone, true},
    CheckCase{"Form2", Kind::kForm2, {0x00, 0x59, 0x74}, k2, 4349, Fault::kNone, true},
    CheckCase{"Form2WithoutEdc", Kind::kForm2WithoutEdc, {0x00, 0x02, 0x05}, k2, 5,
              Fault::kNone, true},
    CheckCase{"SyncByte", Kind::kMode1, {0x00, 0x02, 0x00}, k1, 0, Fault::kSyncByte, false},
    CheckCase{"AddressOneOn", Kind::kMode1, {0x00, 0x02, 0x01}, k1, 0, Fault::kNone, false},
    CheckCase{"BinaryAddress", Kind::kMode1, {0x00, 0x0A, 0x00}, k1, 600, Fault::kNone, false},
    CheckCase{"Mode1InMode2Track", Kind::kMode1, {0x00, 0x02, 0x00}, k2, 0, Fault::kNone, false},
    CheckCase{"Form1InMode1Track", Kind::kForm1, {0x00, 0x02, 0x00}, k1, 0, Fault::kNone, false},
    CheckCase{"SubheaderCopiesDiffer", Kind::kForm1, {0x00, 0x02, 0x00}, k2, 0,
              Fault::kSubheaderCopy, false},
    CheckCase{"Form1UserDataBit", Kind::kForm1, {0x00, 0x02, 0x00}, k2, 0, Fault::kUserDataBit,
              false},
    CheckCase{"Form2UserDataBit", Kind::kForm2, {0x00, 0x02, 0x00}, k2, 0, Fault::kUserDataBit,
              false},
    CheckCase{"Form2WithoutEdcUserDataBit", Kind::kForm2WithoutEdc, {0x00, 0x02, 0x00}, k2, 0,
              Fault::kUserDataBit, true},
    CheckCase{"Mode1EdcByte", Kind::kMode1, {0x00, 0x02, 0x00}, k1, 0, Fault::kEdcByte, false}),
    [](const auto& i) { return std::string(i.param.name); });
// clang-format on

}  // namespace
}  // namespace kv9
