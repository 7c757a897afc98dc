#include "support/differential.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "support/reference_scan.h"
#include "vidconv/xa_encoder.h"
#include "vidscan/scan_image.h"

namespace kv9::test {

std::string console_of(const std::function<void()>& f) {
  // One file for every capture: each writes from its start and reads back what it wrote.
  static const int capture = ::fileno(std::tmpfile());
  std::fflush(stdout);
  ::lseek(capture, 0, SEEK_SET);
  const int saved = ::dup(STDOUT_FILENO);
  ::dup2(capture, STDOUT_FILENO);
  f();
  std::fflush(stdout);
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  std::string out(static_cast<std::size_t>(::lseek(capture, 0, SEEK_CUR)), '\0');
  ::lseek(capture, 0, SEEK_SET);
  const auto got = ::read(capture, out.data(), static_cast<unsigned>(out.size()));
  out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return out;
}

void put_frame_headers(std::string& img, std::size_t at, int sectors, uint8_t counter, int miss_at,
                       char miss) {
  for (int s = 0; s < sectors; ++s) {
    std::string h =
        std::string("SM") + "NRJJJJJJJJ"[s] + '\1' + char(s) + '\t' + char(counter) + '\0';
    if (miss_at < 8) h[miss_at] = miss;
    const std::size_t p = at + 2048 * std::size_t(s);
    if (p < img.size()) img.replace(p, 8, h, 0, img.size() - p);
  }
}

std::string scan_differs(const char* path, int disc, bool builtin_tables) {
  static MovieTables fast, plain;
  builtin_tables ? set_builtin_tables(fast) : clear_tables(fast);
  plain = fast;
  static ImageStream image;  // its megabyte block allocated once
  ScanState state;
  const std::string got = console_of([&] { scan_image(state, fast, disc, path, image); });
  const std::string want = reference_scan(path, plain, disc);
  if (got != want) return "console:\n  scan: " + got + "\n  reference: " + want;
  return std::memcmp(&fast, &plain, sizeof fast) == 0 ? "" : "the tables differ";
}

std::string sector_differs(const RefStereo& decoder, const RefStereo& encoder,
                           const uint8_t* region, std::size_t groups) {
  static AudioCodecState fast;
  for (int c = 0; c < 2; ++c) {
    fast.decoder.channel[c] = {decoder.channel[c].prev1, decoder.channel[c].prev2};
    fast.encoder.channel[c] = {encoder.channel[c].prev1, encoder.channel[c].prev2};
  }
  std::vector<uint8_t> got(region, region + kRegionBytes), want = got;
  RefStereo plain_decoder = decoder, plain_encoder = encoder;
  if (groups == kSoundGroupsPerSector) {
    encode_sector_audio(fast, got.data());
  } else {
    resample_sector(fast.decoder, got.data(), fast.buffers);
    for (std::size_t s = 0; s < groups; ++s)
      encode_sound_group(fast.encoder, fast.buffers.pcm37 + 2 * kPairsPerSoundGroup * s,
                         got.data() + kSoundGroupBytes * s);
  }
  ref_encode_sector(plain_decoder, plain_encoder, want.data(), static_cast<int>(groups));
  for (std::size_t i = 0; i < kRegionBytes; ++i) {
    if (got[i] != want[i]) return "the encoded sector differs at byte " + std::to_string(i);
  }
  for (int c = 0; c < 2; ++c) {
    const ChannelHistory &d = fast.decoder.channel[c], &e = fast.encoder.channel[c];
    const RefHistory &rd = plain_decoder.channel[c], &re = plain_encoder.channel[c];
    if (std::array{d.prev1, d.prev2, e.prev1, e.prev2} !=
        std::array{rd.prev1, rd.prev2, re.prev1, re.prev2})
      return "the histories of channel " + std::to_string(c) + " differ";
  }
  return "";
}

}  // namespace kv9::test
