#include "tools/raw_disc_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numbers>

#include "common/edc.h"
#include "common/output_file.h"

namespace kv9::builder {
namespace {

// --- ECC: the Reed-Solomon product code of ECMA-130 Annex A --------------------------------------
// Bytes 12..2351 are taken as 1170 words of two bytes (the first byte of each the lower), and
// the lower and the upper bytes as two planes coded alike. P: 43 columns of 24 words (words
// c, c + 43, ... c + 989) get two parity words (c + 1032, c + 1075). Q: 26 diagonals of 43 words
// (words (44 i + 43 d) mod 1118 for i = 0..42) get two parity words (1118 + d, 1144 + d). Each
// vector v_0..v_n-1 satisfies sum v_i = 0 and sum alpha^(n-1-i) v_i = 0 over GF(2^8) with
// x^8 + x^4 + x^3 + x^2 + 1, alpha = x.
inline constexpr std::size_t kEccWordsAt = kRawAddressAt;
inline constexpr std::size_t kWordBytes = 2;
inline constexpr std::size_t kPColumns = 43;
inline constexpr std::size_t kPDataWords = 24;
inline constexpr std::size_t kQDiagonals = 26;
inline constexpr std::size_t kQDataWords = 43;
inline constexpr std::size_t kQStep = 44;  // words from one member of a diagonal to the next
inline constexpr std::size_t kPCoveredWords = kPColumns * kPDataWords;
inline constexpr std::size_t kQCoveredWords = kPColumns * (kPDataWords + 2);
static_assert(kEccWordsAt + kPCoveredWords * kWordBytes == kEccAt);
static_assert(2 * kPColumns * kWordBytes == kEccPBytes);
static_assert(kEccWordsAt + kQCoveredWords * kWordBytes == kEccQAt);
static_assert(2 * kQDiagonals * kWordBytes == kEccQBytes);

inline constexpr uint8_t kGfReduction = 0x1D;  // x^8 = x^4 + x^3 + x^2 + 1

constexpr uint8_t times_alpha(uint8_t v) {
  return static_cast<uint8_t>(v << 1 ^ ((v & 0x80) != 0 ? kGfReduction : 0));
}

// GF(2^8) values: [v (1 + alpha)] = v, the division by 1 + alpha.
constexpr std::array<uint8_t, 256> make_divide_by_one_plus_alpha() {
  std::array<uint8_t, 256> t{};
  for (unsigned v = 0; v < 256; ++v) t[v ^ times_alpha(static_cast<uint8_t>(v))] = uint8_t(v);
  return t;
}
inline constexpr std::array<uint8_t, 256> kDivideByOnePlusAlpha = make_divide_by_one_plus_alpha();

// The two parity bytes of the byte `plane` of `count` data words, word i at word index
// first + i * step (mod `wrap`), written at word indices parity_at and parity_at + parity_gap.
// With A = sum d_i and B = sum alpha^(n-1-i) d_i over the data (n = count + 2): p0 + p1 = A and
// alpha p0 + p1 = B, so p0 = (A + B) / (1 + alpha) and p1 = A + p0.
void put_parity(uint8_t* words, std::size_t plane, std::size_t first, std::size_t step,
                std::size_t wrap, std::size_t count, std::size_t parity_at,
                std::size_t parity_gap) {
  uint8_t sum = 0, horner = 0;
  for (std::size_t i = 0, w = first; i < count; ++i, w = (w + step) % wrap) {
    const uint8_t d = words[w * kWordBytes + plane];
    sum ^= d;
    horner = times_alpha(horner) ^ d;
  }
  const uint8_t weighted = times_alpha(times_alpha(horner));
  const uint8_t p0 = kDivideByOnePlusAlpha[sum ^ weighted];
  words[parity_at * kWordBytes + plane] = p0;
  words[(parity_at + parity_gap) * kWordBytes + plane] = sum ^ p0;
}

void put_ecc(uint8_t* raw) {
  uint8_t* words = raw + kEccWordsAt;
  for (std::size_t plane = 0; plane < kWordBytes; ++plane) {
    for (std::size_t c = 0; c < kPColumns; ++c) {
      put_parity(words, plane, c, kPColumns, kPCoveredWords, kPDataWords, kPCoveredWords + c,
                 kPColumns);
    }
  }
  for (std::size_t plane = 0; plane < kWordBytes; ++plane) {
    for (std::size_t d = 0; d < kQDiagonals; ++d) {
      put_parity(words, plane, kPColumns * d, kQStep, kQCoveredWords, kQDataWords,
                 kQCoveredWords + d, kQDiagonals);
    }
  }
}

// --- Files ---------------------------------------------------------------------------------------
inline constexpr std::size_t kRunSectors = 64;  // sectors read and written at a time

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool write_all(std::FILE* out, const uint8_t* data, std::size_t n) {
  return std::fwrite(data, 1, n, out) == n;
}

// One sector of the audio track's tone, from sample pair `first_pair` of the track on.
void make_audio_sector(uint64_t first_pair, uint8_t* raw) {
  for (std::size_t i = 0; i < kAudioSectorPairs; ++i) {
    const double t = static_cast<double>(first_pair + i) / kSourceSampleRate;
    for (std::size_t c = 0; c < 2; ++c) {
      const double v =
          kAudioToneAmplitude * INT16_MAX * std::sin(2 * std::numbers::pi * kAudioToneHz[c] * t);
      put_le16(raw + i * kAudioPairBytes + 2 * c,
               static_cast<uint16_t>(static_cast<int16_t>(std::lround(v))));
    }
  }
}

bool write_audio_track(std::FILE* out, uint32_t seconds) {
  std::array<uint8_t, kRawSectorSize> sector{};
  for (uint32_t s = 0; s < kAudioPregapSectors; ++s) {
    if (!write_all(out, sector.data(), sector.size())) return false;
  }
  const uint64_t sectors = uint64_t{seconds} * kCdFramesPerSecond;
  for (uint64_t s = 0; s < sectors; ++s) {
    make_audio_sector(s * kAudioSectorPairs, sector.data());
    if (!write_all(out, sector.data(), sector.size())) return false;
  }
  return true;
}

std::string msf(uint64_t frames) {
  char text[32];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u",
                static_cast<unsigned>(frames / kCdFramesPerMinute),
                static_cast<unsigned>(frames / kCdFramesPerSecond % kCdSecondsPerMinute),
                static_cast<unsigned>(frames % kCdFramesPerSecond));
  return text;
}

std::string file_name_of(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

std::string cue_sheet(const RawDisc& disc, uint32_t data_sectors) {
  std::string s = "FILE \"" + file_name_of(disc.bin_path) + "\" BINARY\n";
  s += disc.mode == RawMode::kMode1 ? "  TRACK 01 MODE1/2352\n" : "  TRACK 01 MODE2/2352\n";
  s += "    INDEX 01 00:00:00\n";
  if (disc.audio_seconds == 0) return s;
  uint64_t pregap_at = data_sectors;
  if (!disc.audio_bin_path.empty()) {
    s += "FILE \"" + file_name_of(disc.audio_bin_path) + "\" BINARY\n";
    pregap_at = 0;
  }
  s += "  TRACK 02 AUDIO\n";
  s += "    INDEX 00 " + msf(pregap_at) + "\n";
  s += "    INDEX 01 " + msf(pregap_at + kAudioPregapSectors) + "\n";
  return s;
}

bool listed(const std::vector<uint32_t>& sectors, uint32_t s) {
  return std::find(sectors.begin(), sectors.end(), s) != sectors.end();
}

}  // namespace

void make_raw_sector(const uint8_t* user_data, RawMode mode, uint32_t lba, uint8_t* raw) {
  std::memcpy(raw, kRawSync.data(), kRawSyncBytes);
  put_raw_address(raw + kRawAddressAt, lba);
  raw[kRawModeAt] = mode_byte(mode);
  if (mode == RawMode::kMode1) {
    std::memcpy(raw + kMode1DataAt, user_data, kSectorSize);
    put_le32(raw + kMode1EdcAt, edc_crc(raw, kMode1EdcAt));
    std::memset(raw + kMode1ZeroAt, 0, kMode1ZeroBytes);
    put_ecc(raw);
    return;
  }
  const uint8_t subheader[kSubheaderBytes] = {0, 0, kSubmodeData, 0};
  std::memcpy(raw + kSubheaderAt, subheader, kSubheaderBytes);
  std::memcpy(raw + kSubheaderCopyAt, subheader, kSubheaderBytes);
  std::memcpy(raw + kMode2DataAt, user_data, kSectorSize);
  put_le32(raw + kForm1EdcAt, edc_crc(raw + kSubheaderAt, kForm1EdcAt - kSubheaderAt));
  // The parity of Mode 2 is computed with the address and mode bytes taken as zero.
  uint8_t header[kRawHeaderBytes];
  std::memcpy(header, raw + kRawAddressAt, kRawHeaderBytes);
  std::memset(raw + kRawAddressAt, 0, kRawHeaderBytes);
  put_ecc(raw);
  std::memcpy(raw + kRawAddressAt, header, kRawHeaderBytes);
}

bool write_raw_disc(const std::string& image_path, const RawDisc& disc, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error != nullptr) *error = why;
    return false;
  };
  std::error_code size_error;
  const uint64_t bytes = std::filesystem::file_size(image_path, size_error);
  if (size_error) return fail("cannot open " + image_path);
  if (bytes == 0) return fail(image_path + " is empty");
  const uint64_t image_sectors = (bytes + kSectorSize - 1) / kSectorSize;
  for (const auto* list : {&disc.damaged_sectors, &disc.misaddressed_sectors}) {
    for (const uint32_t s : *list) {
      if (s >= image_sectors) return fail("sector " + std::to_string(s) + " lies beyond the image");
    }
  }
  File image(std::fopen(image_path.c_str(), "rb"));
  if (!image) return fail("cannot open " + image_path);
  File bin(std::fopen(disc.bin_path.c_str(), "wb"));
  if (!bin) return fail("cannot create " + disc.bin_path);

  auto cooked = std::make_unique<uint8_t[]>(kRunSectors * kSectorSize);
  auto raw = std::make_unique<uint8_t[]>(kRunSectors * kRawSectorSize);
  uint32_t sectors = 0;
  for (;;) {
    const std::size_t got = std::fread(cooked.get(), 1, kRunSectors * kSectorSize, image.get());
    if (got == 0) break;
    const std::size_t count = (got + kSectorSize - 1) / kSectorSize;
    std::memset(cooked.get() + got, 0, count * kSectorSize - got);  // a last partial sector
    for (std::size_t i = 0; i < count; ++i, ++sectors) {
      uint8_t* r = raw.get() + i * kRawSectorSize;
      make_raw_sector(cooked.get() + i * kSectorSize, disc.mode, sectors, r);
      if (listed(disc.damaged_sectors, sectors)) {
        r[user_data_at(disc.mode) + kDamagedUserDataByte] ^= kDamageBits;
      }
      if (listed(disc.misaddressed_sectors, sectors)) {
        put_raw_address(r + kRawAddressAt, sectors + 1);
      }
    }
    if (!write_all(bin.get(), raw.get(), count * kRawSectorSize)) {
      return fail("cannot write " + disc.bin_path);
    }
  }
  if (std::ferror(image.get()) || sectors != image_sectors) {
    return fail("cannot read " + image_path);
  }

  if (disc.audio_seconds != 0) {
    if (disc.audio_bin_path.empty()) {
      if (!write_audio_track(bin.get(), disc.audio_seconds)) {
        return fail("cannot write " + disc.bin_path);
      }
    } else {
      File audio(std::fopen(disc.audio_bin_path.c_str(), "wb"));
      if (!audio) return fail("cannot create " + disc.audio_bin_path);
      if (!write_audio_track(audio.get(), disc.audio_seconds) ||
          std::fclose(audio.release()) != 0) {
        return fail("cannot write " + disc.audio_bin_path);
      }
    }
  }
  if (std::fclose(bin.release()) != 0) return fail("cannot write " + disc.bin_path);

  if (disc.cue_path.empty()) return true;
  const std::string sheet = cue_sheet(disc, sectors);
  File cue(std::fopen(disc.cue_path.c_str(), "wb"));
  if (!cue || !write_all(cue.get(), reinterpret_cast<const uint8_t*>(sheet.data()), sheet.size()) ||
      std::fclose(cue.release()) != 0) {
    return fail("cannot write " + disc.cue_path);
  }
  return true;
}

}  // namespace kv9::builder
