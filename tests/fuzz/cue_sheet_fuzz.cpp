// Arbitrary bytes as a CUE sheet. Invariants:
//  - a sheet read kOk names a file and a form, both NUL-terminated within their fields and
//    found as written in the text, a track number 1..99, and a next track that starts after the
//    track's INDEX 01;
//  - the form is one the tools read exactly when its text is one of theirs;
//  - a REM line added at the end changes nothing.
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

#include "common/cue_sheet.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

bool same_text(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
  }
  return true;
}

bool in_text(const char* field, std::size_t capacity, std::string_view text) {
  const std::size_t n = strnlen(field, capacity);
  return n > 0 && n < capacity && text.find(std::string_view(field, n)) != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using kv9::fuzz::check;
  static kv9::CueTrack track, again;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const kv9::CueRead r = kv9::read_cue_sheet(text.data(), text.size(), track);

  const std::string longer = std::string(text) + "\nREM more\n";
  const kv9::CueRead r2 = kv9::read_cue_sheet(longer.data(), longer.size(), again);
  check(r2 == r, "a REM line at the end changed the result");
  if (r != kv9::CueRead::kOk) return 0;
  check(std::memcmp(&track, &again, sizeof track) == 0, "a REM line at the end changed the track");

  check(in_text(track.file.data(), track.file.size(), text), "file name not as written");
  check(in_text(track.form_text.data(), track.form_text.size(), text), "form not as written");
  check(track.number >= 1 && track.number <= kv9::kMaxCueTrack, "track number out of range");
  check(!track.ends_at_next_track || track.next_track_frame > track.index01_frame,
        "the next track starts at or before the track's INDEX 01");
  const std::string_view form = track.form_text.data();
  const bool known = same_text(form, "MODE1/2048") || same_text(form, "MODE1/2352") ||
                     same_text(form, "MODE2/2352");
  check(known == (track.form != kv9::CueForm::kUnsupported), "form and its text disagree");
  return 0;
}
