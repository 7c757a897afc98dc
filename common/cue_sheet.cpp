#include "common/cue_sheet.h"

#include <cstring>
#include <string_view>

#include "common/sector_check.h"

namespace kv9 {
namespace {

using Text = std::string_view;

constexpr Text kByteOrderMark = "\xEF\xBB\xBF";

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool same_word(Text a, Text keyword) {
  if (a.size() != keyword.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (upper(a[i]) != keyword[i]) return false;
  }
  return true;
}

Text trimmed(Text t) {
  while (!t.empty() && is_blank(t.front())) t.remove_prefix(1);
  while (!t.empty() && is_blank(t.back())) t.remove_suffix(1);
  return t;
}

// The next word of `t` (up to a blank), taken off its front with the blanks before it.
Text next_word(Text& t) {
  t = trimmed(t);
  std::size_t end = 0;
  while (end < t.size() && !is_blank(t[end])) ++end;
  const Text word = t.substr(0, end);
  t.remove_prefix(end);
  return word;
}

// A decimal number of 1..max_digits digits, at most `max`.
bool read_number(Text t, std::size_t max_digits, uint32_t max, uint32_t& value) {
  if (t.empty() || t.size() > max_digits) return false;
  value = 0;
  for (const char c : t) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  return value <= max;
}

// MM:SS:FF, minutes of any length up to kMaxCueMinuteDigits, as a frame count.
bool read_msf(Text t, uint32_t& frame) {
  const std::size_t first = t.find(':');
  const std::size_t second = first == Text::npos ? Text::npos : t.find(':', first + 1);
  if (second == Text::npos) return false;
  uint32_t m = 0, s = 0, f = 0;
  if (!read_number(t.substr(0, first), kMaxCueMinuteDigits, UINT32_MAX, m) ||
      !read_number(t.substr(first + 1, second - first - 1), 2, kCdSecondsPerMinute - 1, s) ||
      !read_number(t.substr(second + 1), 2, kCdFramesPerSecond - 1, f)) {
    return false;
  }
  frame = (m * kCdSecondsPerMinute + s) * kCdFramesPerSecond + f;
  return true;
}

struct FileTypeName {
  Text name;
  CueFileType type;
};
// The file types a sheet names, as written in upper case.
constexpr FileTypeName kFileTypes[] = {{"BINARY", CueFileType::kBinary},
                                       {"MOTOROLA", CueFileType::kMotorola},
                                       {"WAVE", CueFileType::kWave},
                                       {"MP3", CueFileType::kMp3},
                                       {"AIFF", CueFileType::kAiff}};

struct FormName {
  Text name;
  CueForm form;
};
// The track forms the tools read, as written in upper case.
constexpr FormName kForms[] = {{"MODE1/2048", CueForm::kCooked2048},
                               {"MODE1/2352", CueForm::kRawMode1},
                               {"MODE2/2352", CueForm::kRawMode2}};

// FILE "name" TYPE, or FILE name TYPE (the name then runs up to the last word).
CueRead read_file_line(Text rest, Text& name, CueFileType& type) {
  rest = trimmed(rest);
  Text type_word;
  if (!rest.empty() && rest.front() == '"') {
    const std::size_t close = rest.find('"', 1);
    if (close == Text::npos) return CueRead::kBadFileLine;
    name = rest.substr(1, close - 1);
    Text after = rest.substr(close + 1);
    type_word = next_word(after);
  } else {
    std::size_t last = rest.size();
    while (last > 0 && !is_blank(rest[last - 1])) --last;
    type_word = rest.substr(last);
    name = trimmed(rest.substr(0, last));
  }
  if (name.empty() || name.find('\0') != Text::npos) return CueRead::kBadFileLine;
  if (name.size() >= kMaxPathBytes) return CueRead::kNameTooLong;
  for (const FileTypeName& t : kFileTypes) {
    if (same_word(type_word, t.name)) {
      type = t.type;
      return CueRead::kOk;
    }
  }
  return CueRead::kBadFileLine;
}

CueRead read_track_line(Text rest, uint32_t& number, Text& form) {
  if (!read_number(next_word(rest), 2, kMaxCueTrack, number) || number == 0) {
    return CueRead::kBadTrackLine;
  }
  form = next_word(rest);
  if (form.empty() || form.size() >= kCueFormTextBytes || form.find('\0') != Text::npos) {
    return CueRead::kBadTrackLine;
  }
  return CueRead::kOk;
}

CueRead read_index_line(Text rest, uint32_t& number, uint32_t& frame) {
  if (!read_number(next_word(rest), 2, kMaxCueIndex, number)) return CueRead::kBadIndexLine;
  const Text time = next_word(rest);
  if (time.empty()) return CueRead::kBadIndexLine;
  return read_msf(time, frame) ? CueRead::kOk : CueRead::kBadMsf;
}

// Where the reading stands: before the first track, in it, or in the track after it, which
// lies in the same file.
enum class Stage { kBeforeTrack, kFirstTrack, kNextTrack };

}  // namespace

CueRead read_cue_sheet(const char* text, std::size_t n, CueTrack& track) {
  Text sheet(text, n);
  if (sheet.starts_with(kByteOrderMark)) sheet.remove_prefix(kByteOrderMark.size());
  track = CueTrack{};
  Stage stage = Stage::kBeforeTrack;
  bool have_file = false, have_index01 = false;
  Text file_name;
  CueFileType file_type = CueFileType::kBinary;

  while (!sheet.empty()) {
    const std::size_t end = sheet.find_first_of("\r\n");
    Text line = sheet.substr(0, end);
    sheet.remove_prefix(end == Text::npos ? sheet.size() : end + 1);
    const Text keyword = next_word(line);

    if (same_word(keyword, "FILE")) {
      if (stage == Stage::kFirstTrack) {  // the first track runs to its file's end
        return have_index01 ? CueRead::kOk : CueRead::kNoIndex01;
      }
      if (stage == Stage::kNextTrack) return CueRead::kNextTrackWithoutIndex;
      const CueRead r = read_file_line(line, file_name, file_type);
      if (r != CueRead::kOk) return r;
      have_file = true;
    } else if (same_word(keyword, "TRACK")) {
      if (!have_file) return CueRead::kTrackBeforeFile;
      if (stage == Stage::kFirstTrack) {
        if (!have_index01) return CueRead::kNoIndex01;
        stage = Stage::kNextTrack;
        continue;
      }
      if (stage == Stage::kNextTrack) return CueRead::kNextTrackWithoutIndex;
      Text form;
      const CueRead r = read_track_line(line, track.number, form);
      if (r != CueRead::kOk) return r;
      std::memcpy(track.form_text.data(), form.data(), form.size());
      for (const FormName& f : kForms) {
        if (same_word(form, f.name)) track.form = f.form;
      }
      std::memcpy(track.file.data(), file_name.data(), file_name.size());
      track.file_type = file_type;
      stage = Stage::kFirstTrack;
    } else if (same_word(keyword, "INDEX") && stage != Stage::kBeforeTrack) {
      uint32_t number = 0, frame = 0;
      const CueRead r = read_index_line(line, number, frame);
      if (r != CueRead::kOk) return r;
      if (stage == Stage::kNextTrack) {
        if (frame <= track.index01_frame) return CueRead::kNextTrackTooSoon;
        track.ends_at_next_track = true;
        track.next_track_frame = frame;
        return CueRead::kOk;
      }
      if (number == 1 && !have_index01) {
        track.index01_frame = frame;
        have_index01 = true;
      }
    }
  }
  switch (stage) {
    case Stage::kBeforeTrack:
      return CueRead::kNoTrack;
    case Stage::kFirstTrack:
      return have_index01 ? CueRead::kOk : CueRead::kNoIndex01;
    case Stage::kNextTrack:
      break;
  }
  return CueRead::kNextTrackWithoutIndex;
}

}  // namespace kv9
