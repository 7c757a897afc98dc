#include "support/differential.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/adpcm_decoder.h"
#include "common/layout.h"
#include "support/reference_scan.h"
#include "vidconv/xa_encoder.h"
#include "vidscan/scan_image.h"

namespace kv9::test {
namespace {

using Channels = std::array<ChannelHistory, kDecoderChannels>;

std::string history_differs(const char* what, const Channels& got, const RefStereo& want) {
  for (int c = 0; c < 2; ++c) {
    if (got[c].prev1 != want.channel[c].prev1 || got[c].prev2 != want.channel[c].prev2) {
      return std::string(what) + " history of channel " + std::to_string(c) + " differs";
    }
  }
  return "";
}

template <class H>
void copy_history(H& to, const RefStereo& from) {
  for (int c = 0; c < 2; ++c) to.channel[c] = {from.channel[c].prev1, from.channel[c].prev2};
}

}  // namespace

std::string console_of(const std::function<void()>& f) {
  std::fflush(stdout);
  std::FILE* capture = std::tmpfile();
  const int saved = ::dup(STDOUT_FILENO);
  ::dup2(::fileno(capture), STDOUT_FILENO);
  f();
  std::fflush(stdout);
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  std::string out(static_cast<std::size_t>(std::ftell(capture)), '\0');
  std::rewind(capture);
  out.resize(std::fread(out.data(), 1, out.size(), capture));
  std::fclose(capture);
  return out;
}

std::string scan_differs(const char* path, int disc, bool builtin_tables) {
  static MovieTables fast, plain;
  builtin_tables ? set_builtin_tables(fast) : clear_tables(fast);
  plain = fast;
  auto image = std::make_unique<ImageStream>();
  ScanState state;
  const std::string got = console_of([&] { scan_image(state, fast, disc, path, *image); });
  const std::string want = reference_scan(path, plain, disc);
  if (got != want) return "console:\n  scan: " + got + "\n  reference: " + want;
  if (std::memcmp(&fast, &plain, sizeof fast) != 0) return "the tables differ";
  return "";
}

std::string sector_differs(const RefStereo& decoder, const RefStereo& encoder,
                           const uint8_t* region) {
  static AudioCodecState fast;
  copy_history(fast.decoder, decoder);
  copy_history(fast.encoder, encoder);
  std::array<uint8_t, kRegionBytes> got, want;
  std::memcpy(got.data(), region, kRegionBytes);
  std::memcpy(want.data(), region, kRegionBytes);

  // The block pairs, as vidsound decodes them.
  DecoderHistory pair_history = fast.decoder;
  RefStereo plain_decoder = decoder;
  for (std::size_t b = 0; b < kRegionBlockPairs; ++b) {
    int16_t pairs[2 * kSamplesPerBlock], plain[2 * kSamplesPerBlock];
    const uint8_t* left = region + kBlockPairBytes * b;
    decode_block_pair(pair_history, left, left + kBlockBytes, pairs);
    for (int c = 0; c < 2; ++c) {
      ref_decode_block(plain_decoder.channel[c], left + kBlockBytes * c, plain, c);
    }
    if (std::memcmp(pairs, plain, sizeof pairs) != 0) {
      return "block pair " + std::to_string(b) + " decodes differently";
    }
  }
  if (auto d = history_differs("block decoder", pair_history.channel, plain_decoder); !d.empty())
    return d;

  RefStereo plain_encoder = encoder, reference_decoder = decoder;
  encode_sector_audio(fast, got.data());
  ref_encode_sector(reference_decoder, plain_encoder, want.data());
  if (got != want) {
    for (std::size_t i = 0;; ++i) {
      if (got[i] != want[i]) return "encoded sector differs at byte " + std::to_string(i);
    }
  }
  if (auto d = history_differs("decoder", fast.decoder.channel, reference_decoder); !d.empty())
    return d;
  if (auto d = history_differs("encoder", fast.encoder.channel, plain_encoder); !d.empty())
    return d;

  // Each sound unit rebuilt as a source block decodes to what the encoder tracked.
  RefStereo replay = encoder;
  for (std::size_t s = 0; s < kSoundGroupsPerSector; ++s) {
    const uint8_t* group = got.data() + kSoundGroupBytes * s;
    for (int u = 0; u < 8; ++u) {
      uint8_t block[kBlockBytes] = {group[4 + u]};
      for (int n = 0; n < 28; ++n) {
        const int nibble = group[16 + 4 * n + u / 2] >> (4 * (u % 2)) & 15;
        block[2 + n / 2] = static_cast<uint8_t>(block[2 + n / 2] | nibble << (4 * (n % 2)));
      }
      int16_t pairs[2 * kSamplesPerBlock];
      ref_decode_block(replay.channel[u % 2], block, pairs, 0);
    }
  }
  return history_differs("replayed encoder", fast.encoder.channel, replay);
}

}  // namespace kv9::test
