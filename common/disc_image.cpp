#include "common/disc_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/cue_sheet.h"

namespace kv9 {
namespace {

// A sheet is a small text file; a larger file, or one with a NUL byte in its first sector's
// worth of bytes, is an image.
inline constexpr int64_t kMaxSheetBytes = int64_t{1} << 20;

// Reads n bytes at `offset` of the file (a pipe: its next bytes, the lead first), as many as it
// gives before its end.
std::size_t read_file_bytes(const DiscImage& d, uint64_t offset, uint8_t* dst, std::size_t n,
                            bool& read_failed) {
  std::size_t got = 0;
  if (!d.file.seekable && offset < d.lead_bytes) {
    got = std::min<std::size_t>(n, d.lead_bytes - offset);
    std::memcpy(dst, d.lead.data() + offset, got);
  }
  while (got < n) {
    const int64_t r = read_image_file(d.file, offset + got, dst + got, n - got);
    if (r <= 0) {
      read_failed = read_failed || r < 0;
      break;
    }
    got += static_cast<std::size_t>(r);
  }
  return got;
}

void note_failure(FailedSectors& failed, uint64_t index) {
  if (failed.count > 0 && index <= failed.index[failed.count - 1]) return;  // read again
  if (failed.count < failed.index.size()) failed.index[failed.count++] = index;
}

// Reads whole raw sectors covering the user data asked for, checks each and copies its data.
std::size_t read_raw_data(const DiscImage& d, uint64_t at, uint8_t* dst, std::size_t n,
                          uint8_t* raw, FailedSectors& failed, bool& read_failed) {
  const RawMode mode = d.form == ImageForm::kRawMode1 ? RawMode::kMode1 : RawMode::kMode2;
  const std::size_t data_at = user_data_at(mode);
  std::size_t got = 0;
  while (got < n) {
    const uint64_t first = (at + got) / kSectorSize;
    std::size_t skip = static_cast<std::size_t>((at + got) % kSectorSize);
    const uint64_t raw_at = first * kRawSectorSize;
    if (raw_at >= d.track_bytes) break;
    const uint64_t sectors =
        std::min<uint64_t>(kRawBlockSectors, (skip + (n - got) + kSectorSize - 1) / kSectorSize);
    const std::size_t want =
        static_cast<std::size_t>(std::min(sectors * kRawSectorSize, d.track_bytes - raw_at));
    const std::size_t raw_got = read_file_bytes(d, d.track_at + raw_at, raw, want, read_failed);
    for (std::size_t k = 0; k * kRawSectorSize < raw_got && got < n; ++k) {
      const uint8_t* sector = raw + k * kRawSectorSize;
      const std::size_t have = std::min(kRawSectorSize, raw_got - k * kRawSectorSize);
      // A sector cut short by the end of the file fails: its EDC is gone.
      if (have < kRawSectorSize ||
          !check_raw_sector(sector, mode, d.first_lba + uint32_t(first + k)))
        note_failure(failed, first + k);
      const std::size_t data = std::min(kSectorSize, have > data_at ? have - data_at : 0);
      if (data <= skip) return got;
      const std::size_t take = std::min(data - skip, n - got);
      std::memcpy(dst + got, sector + data_at + skip, take);
      got += take;
      skip = 0;
      if (data < kSectorSize) return got;
    }
    if (raw_got < want) break;
  }
  return got;
}

bool is_sheet_text(const DiscImage& d) {
  return d.file.seekable && d.file.size > 0 && d.file.size <= kMaxSheetBytes &&
         std::memchr(d.lead.data(), '\0', d.lead_bytes) == nullptr;
}

const char* sheet_fault(CueRead r) {
  switch (r) {
    case CueRead::kTrackBeforeFile:
      return "a TRACK comes before any FILE";
    case CueRead::kNoIndex01:
      return "its first track has no INDEX 01";
    case CueRead::kNextTrackWithoutIndex:
      return "its second track has no INDEX";
    case CueRead::kBadMsf:
      return "an INDEX time is not MM:SS:FF";
    case CueRead::kNextTrackTooSoon:
      return "its second track starts before its first";
    case CueRead::kBadFileLine:
      return "a FILE line names no file of a known type";
    case CueRead::kNameTooLong:
      return "a FILE name is too long";
    case CueRead::kBadTrackLine:
      return "a TRACK line has no number 1 to 99 or no form";
    case CueRead::kBadIndexLine:
      return "an INDEX line has no number 0 to 99 or no time";
    case CueRead::kOk:
    case CueRead::kNoTrack:
      break;
  }
  return "it holds no track";
}

// Follows the sheet `path`, read as `track`, to its first track. False, with the line that
// says why in `refusal`, when that track is not one the tools read or its file cannot be opened.
bool open_sheet_track(DiscImage& d, const char* path, const CueTrack& track, CueRead read,
                      char (&refusal)[kRefusalBytes]) {
  const auto refuse = [&](const char* format, const char* what) {
    std::snprintf(refusal, sizeof refusal, format, path, what);
    return false;
  };
  if (read != CueRead::kOk) return refuse("sheet %s cannot be read: %s", sheet_fault(read));
  const char* form = track.form_text.data();
  if (track.form == CueForm::kUnsupported) {
    const bool sound = std::strcmp(form, "AUDIO") == 0 || std::strcmp(form, "CDG") == 0;
    return refuse(sound ? "sheet %s: its first track is %s, not a data track"
                        : "sheet %s: its first track is %s, a form the tools do not read "
                          "(MODE1/2048, MODE1/2352 or MODE2/2352)",
                  form);
  }
  if (track.file_type != CueFileType::kBinary && track.file_type != CueFileType::kMotorola) {
    return refuse("sheet %s: its first track lies in %s, a sound file, not a BINARY one",
                  track.file.data());
  }
  PathText file;
  if (!file_beside(path, track.file.data(), file) || !open_image_file(d.file, file.data())) {
    return refuse("sheet %s: its file %s cannot be opened", track.file.data());
  }
  d.form = track.form == CueForm::kCooked2048 ? ImageForm::kCooked
           : track.form == CueForm::kRawMode1 ? ImageForm::kRawMode1
                                              : ImageForm::kRawMode2;
  const uint64_t sector = d.form == ImageForm::kCooked ? kSectorSize : kRawSectorSize;
  d.first_lba = track.index01_frame;
  d.track_at = uint64_t{track.index01_frame} * sector;
  if (track.ends_at_next_track) {
    d.track_bytes = uint64_t{track.next_track_frame - track.index01_frame} * sector;
  }
  if (d.file.size >= 0) {
    const uint64_t size = static_cast<uint64_t>(d.file.size);
    d.track_bytes = std::min(d.track_bytes, size - std::min(size, d.track_at));
  } else if (d.track_at > 0) {
    // A pipe is read forward to where the track starts.
    std::vector<uint8_t> passed(d.track_at < kRawBlockBytes ? d.track_at : kRawBlockBytes);
    bool failed = false;
    for (uint64_t left = d.track_at; left > 0;) {
      const std::size_t take = static_cast<std::size_t>(std::min<uint64_t>(left, passed.size()));
      if (read_file_bytes(d, 0, passed.data(), take, failed) < take) break;
      left -= take;
    }
  }
  return true;
}

}  // namespace

bool open_disc_image(DiscImage& d, const char* path, char (&refusal)[kRefusalBytes]) {
  d.form = ImageForm::kCooked;
  d.track_at = d.lead_bytes = 0;
  d.track_bytes = UINT64_MAX;
  d.first_lba = 0;
  if (!open_image_file(d.file, path)) {
    std::snprintf(refusal, sizeof refusal, "cannot open file %s", path);
    return false;
  }
  bool read_failed = false;
  d.lead_bytes = read_file_bytes(d, 0, d.lead.data(), d.lead.size(), read_failed);
  if (is_sheet_text(d)) {
    std::vector<char> text(static_cast<std::size_t>(d.file.size));
    text.resize(
        read_file_bytes(d, 0, reinterpret_cast<uint8_t*>(text.data()), text.size(), read_failed));
    CueTrack track;
    const CueRead read = read_cue_sheet(text.data(), text.size(), track);
    if (read != CueRead::kNoTrack) {
      close_image_file(d.file);
      d.lead_bytes = 0;
      return open_sheet_track(d, path, track, read, refusal);
    }
  }
  if (d.file.size >= 0) d.track_bytes = static_cast<uint64_t>(d.file.size);
  if (d.lead_bytes >= kMode1DataAt &&
      std::equal(kRawSync.begin(), kRawSync.end(), d.lead.begin())) {
    const uint8_t mode = d.lead[kRawModeAt];
    if (mode == mode_byte(RawMode::kMode1)) d.form = ImageForm::kRawMode1;
    if (mode == mode_byte(RawMode::kMode2)) d.form = ImageForm::kRawMode2;
  }
  return true;
}

void close_disc_image(DiscImage& d) {
  close_image_file(d.file);
}

int64_t disc_image_bytes(const DiscImage& d) {
  if (d.track_bytes == UINT64_MAX) return -1;
  if (d.form == ImageForm::kCooked) return static_cast<int64_t>(d.track_bytes);
  const std::size_t data_at =
      user_data_at(d.form == ImageForm::kRawMode1 ? RawMode::kMode1 : RawMode::kMode2);
  const uint64_t part = d.track_bytes % kRawSectorSize;
  return static_cast<int64_t>(d.track_bytes / kRawSectorSize * kSectorSize +
                              std::min<uint64_t>(kSectorSize, part > data_at ? part - data_at : 0));
}

std::size_t read_disc_data(const DiscImage& d, uint64_t at, uint8_t* dst, std::size_t n,
                           uint8_t* raw, FailedSectors& failed, bool& read_failed) {
  if (d.form != ImageForm::kCooked) return read_raw_data(d, at, dst, n, raw, failed, read_failed);
  if (at >= d.track_bytes) return 0;
  n = static_cast<std::size_t>(std::min<uint64_t>(n, d.track_bytes - at));
  return read_file_bytes(d, d.track_at + at, dst, n, read_failed);
}

std::size_t whole_sectors_to_read(const DiscImage& d, uint64_t at, std::size_t n) {
  if (d.form == ImageForm::kCooked) return n;
  const std::size_t over = static_cast<std::size_t>((at + n) % kSectorSize);
  return over < n ? n - over : n;
}

}  // namespace kv9
