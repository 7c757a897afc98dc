// The first track of a CUE sheet: the file it lies in, its form and where it starts and ends
// in that file. Text in, a fixed-size record out; nothing is opened or allocated, so any bytes
// may be handed over.
//
// Read as the tools that write sheets write them: keywords in any case, names quoted or not (an
// unquoted name runs up to the file type, spaces and all), lines ended by CR LF, LF or CR, a
// UTF-8 byte-order mark, blank lines, leading spaces and tabs. Lines other than FILE, TRACK and
// INDEX (REM, CATALOG, PERFORMER, TITLE, SONGWRITER, FLAGS, ISRC, PREGAP, POSTGAP, CDTEXTFILE,
// and any other) are passed over. Reading stops once the first track's end is known.
//
//   FILE "name" TYPE       TYPE: BINARY, MOTOROLA, WAVE, MP3 or AIFF
//     TRACK nn FORM        nn: 1..99; FORM: MODE1/2048, MODE1/2352, MODE2/2352, AUDIO, ...
//       INDEX nn MM:SS:FF  nn: 0..99; a place in the file, 75 frames a second
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/file_names.h"

namespace kv9 {

enum class CueFileType { kBinary, kMotorola, kWave, kMp3, kAiff };

// The track forms the tools read; anything else (AUDIO, CDG, MODE2/2336, CDI/2336, CDI/2352,
// MODE2/2048, ...) is kUnsupported, its text kept for messages.
enum class CueForm { kCooked2048, kRawMode1, kRawMode2, kUnsupported };

inline constexpr uint32_t kMaxCueTrack = 99;
inline constexpr uint32_t kMaxCueIndex = 99;
inline constexpr std::size_t kCueFormTextBytes = 16;   // the longest form, MODE2/2352, and room
inline constexpr std::size_t kMaxCueMinuteDigits = 5;  // 99999 minutes of frames fit 32 bits
static_assert(99999ull * 60 * 75 + 59 * 75 + 74 < (1ull << 32));

struct CueTrack {
  PathText file{};  // the FILE as written, quotes removed, NUL-terminated
  CueFileType file_type = CueFileType::kBinary;
  uint32_t number = 0;
  std::array<char, kCueFormTextBytes> form_text{};  // as written, NUL-terminated
  CueForm form = CueForm::kUnsupported;
  uint32_t index01_frame = 0;  // where the track's data start in its file
  // When the next track lies in the same file, the track ends where that one's first INDEX
  // (00 if it has one, else 01) lies; otherwise it runs to the file's end.
  bool ends_at_next_track = false;
  uint32_t next_track_frame = 0;
};

enum class CueRead {
  kOk,
  kNoTrack,                // no TRACK line at all
  kTrackBeforeFile,        // a TRACK line before any FILE line
  kNoIndex01,              // the first track has no INDEX 01
  kNextTrackWithoutIndex,  // the track after it, in the same file, has no INDEX
  kBadMsf,                 // an INDEX time other than MM:SS:FF with SS < 60, FF < 75
  kNextTrackTooSoon,       // the next track in its file starts at or before its INDEX 01
  kBadFileLine,            // a FILE line without a name, with a NUL byte in it, or of another type
  kNameTooLong,            // a FILE name of kMaxPathBytes bytes or more
  kBadTrackLine,           // a TRACK line without a number 1..99 or a form of 1..15 bytes, no NUL
  kBadIndexLine,           // an INDEX line without a number 0..99 or a time
};

// Reads the first track of the sheet `text` of `n` bytes into `track` (complete when kOk).
CueRead read_cue_sheet(const char* text, std::size_t n, CueTrack& track);

}  // namespace kv9
