// Raw disc images from a 2048-byte image: a BIN of 2352-byte sectors (Mode 1 or Mode 2 Form 1,
// with sync, address, subheader, EDC and ECC as ECMA-130 lays them, so that any CD tool takes
// them), a CUE sheet for it, an audio track after the data track, and damage on chosen sectors.
//
// What write_raw_disc writes (sector layout: common/sector_check.h):
//
//   data BIN, byte offset      what
//   2352 * s                   sector s of the 2048-byte image as a raw sector at LBA s; a last
//                              partial sector is padded with zeros to 2048 bytes first
//   then, in the same BIN, or from 0 in an audio BIN of its own (audio_in_own_file):
//   +0                         2 s (150 sectors) of silence: the audio track's pregap, INDEX 00
//   +150 * 2352                the audio track proper, INDEX 01: a quiet tone, 16-bit stereo
//                              samples, little-endian, left first, 588 pairs a sector
//
//   CUE sheet (lines end in LF):
//   FILE "DATA.bin" BINARY
//     TRACK 01 MODE1/2352          (MODE2/2352 for Mode 2)
//       INDEX 01 00:00:00
//   with an audio track in the same file:
//     TRACK 02 AUDIO
//       INDEX 00 MM:SS:FF          the data track's sector count
//       INDEX 01 MM:SS:FF          150 sectors later
//   with an audio track in a file of its own:
//   FILE "AUDIO.bin" BINARY
//     TRACK 02 AUDIO
//       INDEX 00 00:00:00
//       INDEX 01 00:02:00
//   The sheet names its BINs by their file names alone: they lie in the sheet's folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/layout.h"
#include "common/sector_check.h"

namespace kv9::builder {

// CD audio: 44.1 kHz 16-bit stereo, 588 sample pairs in each 2352-byte sector.
inline constexpr std::size_t kAudioPairBytes = 4;
inline constexpr std::size_t kAudioSectorPairs = kRawSectorSize / kAudioPairBytes;
static_assert(kAudioSectorPairs == 588);
static_assert(kAudioSectorPairs * kCdFramesPerSecond == kSourceSampleRate);
inline constexpr uint32_t kAudioPregapSectors = 2 * kCdFramesPerSecond;
inline constexpr double kAudioToneHz[2] = {440, 660};  // left, right
inline constexpr double kAudioToneAmplitude = 0.1;     // of full scale

// Damage: the user-data byte changed (its bits flipped by kDamageBits) after the sector's EDC
// and ECC were computed; a misaddressed sector carries the address of the sector after it.
inline constexpr std::size_t kDamagedUserDataByte = 1024;
inline constexpr uint8_t kDamageBits = 0x01;

// Writes sector `lba` of a data track of `mode` from 2048 bytes of user data: sync, address,
// mode, for Mode 2 the Form 1 subheader of data (file 0, channel 0, submode 0x08, coding 0)
// twice, the user data, the EDC, Mode 1's zero bytes and the P and Q parity.
void make_raw_sector(const uint8_t* user_data, RawMode mode, uint32_t lba, uint8_t* raw);

struct RawDisc {
  RawMode mode = RawMode::kMode1;
  std::string bin_path;        // the data track, and the audio track unless in a file of its own
  std::string cue_path;        // empty: no sheet
  uint32_t audio_seconds = 0;  // 0: no audio track; else its length after the pregap
  std::string audio_bin_path;  // not empty: the audio track in this file of its own
  std::vector<uint32_t> damaged_sectors;       // a user-data byte changed (kDamagedUserDataByte)
  std::vector<uint32_t> misaddressed_sectors;  // the address of the next sector
};

// Writes the raw disc of the 2048-byte image at `image_path`. False, with the reason in `error`
// if given, when the image cannot be read or is empty, a damaged sector lies beyond it, or a
// file cannot be written.
bool write_raw_disc(const std::string& image_path, const RawDisc& disc,
                    std::string* error = nullptr);

}  // namespace kv9::builder
