// Synthetic disc images: sector headers, layout and faults, the sound encoder against the block
// decoder, and the test-pattern pictures.
#include "tools/disc_image_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <vector>

#include "common/adpcm_decoder.h"
#include "common/layout.h"
#include "support/temp_dir.h"
#include "tools/pseudo_random.h"

namespace kv9::builder {

// Waveform parameters in test names' messages.
void PrintTo(const Waveform& w, std::ostream* os) {
  *os << "kind " << w.kind << " " << w.frequency_hz << " Hz amplitude " << w.amplitude
      << " constant " << w.constant << " seed " << w.seed;
}

namespace {

using Header = std::array<uint8_t, kSectorHeaderBytes>;

Waveform tone(double hz, double amplitude) {
  Waveform w;
  w.kind = Waveform::kTone;
  w.frequency_hz = hz;
  w.amplitude = amplitude;
  return w;
}

MovieLayout movie_at(uint32_t start, uint32_t frames) {
  MovieLayout m;
  m.start_sector = start;
  m.frames = frames;
  m.left = tone(440, 0.25);
  m.right = tone(660, 0.25);
  return m;
}

Header header_at(const std::vector<uint8_t>& image, std::size_t sector) {
  Header h;
  std::memcpy(h.data(), image.data() + sector * kSectorSize, h.size());
  return h;
}

// Two movies given out of image order, a gap of filler between them, a restart frame, faults.
DiscLayout sample_spec() {
  DiscLayout disc_layout;
  disc_layout.disc = 2;
  disc_layout.movies.push_back(movie_at(45, 3));
  disc_layout.movies.push_back(movie_at(3, 4));
  disc_layout.movies[1].restart_frames = {2};
  disc_layout.wrong_tags = {{15, {'S', 'M', 'X'}}};
  disc_layout.lone_smn_sectors = {1};
  return disc_layout;
}

// --- Sector headers and layout -------------------------------------------------------------------

TEST(DiscImageBuilder, FirstFrameHeadersAreTheMovieSignatures) {
  const std::vector<uint8_t> image = build_image(sample_spec());
  EXPECT_EQ(header_at(image, 3), (Header{0x53, 0x4D, 0x4E, 0x01, 0x00, 0x09, 0x00, 0x00}));
  EXPECT_EQ(header_at(image, 4), (Header{0x53, 0x4D, 0x52, 0x01, 0x01, 0x09, 0x00, 0x00}));
  EXPECT_EQ(header_at(image, 5), (Header{0x53, 0x4D, 0x4A, 0x01, 0x02, 0x09, 0x00, 0x00}));
  EXPECT_EQ(header_at(image, 12), (Header{0x53, 0x4D, 0x4A, 0x01, 0x09, 0x09, 0x00, 0x00}));
}

struct CounterCase {
  uint32_t frame;
  uint16_t counter;
};
class FrameCounter : public ::testing::TestWithParam<CounterCase> {};

// Movie 1 of the sample starts at sector 3 with a restart at frame 2; bytes 6-7 of all ten
// headers of a frame carry the same counter.
TEST_P(FrameCounter, EveryHeaderOfTheFrameCarriesIt) {
  const std::vector<uint8_t> image = build_image(sample_spec());
  const uint32_t frame = GetParam().frame;
  for (std::size_t s = 0; s < kFrameSectors; ++s) {
    const Header h = header_at(image, 3 + frame * kFrameSectors + s);
    EXPECT_EQ(h[3], 0x01);
    EXPECT_EQ(h[4], s);
    EXPECT_EQ(h[5], 0x09);
    EXPECT_EQ(h[6] | (h[7] << 8), GetParam().counter) << "sector " << s;
  }
}
INSTANTIATE_TEST_SUITE_P(SampleMovie, FrameCounter,
                         ::testing::Values(CounterCase{0, 0}, CounterCase{1, 1}, CounterCase{2, 0},
                                           CounterCase{3, 3}));

TEST(DiscImageBuilder, CounterNeverWrapsToZero) {
  const MovieLayout m = movie_at(0, 70000);
  for (const CounterCase c : {CounterCase{65534, 65534}, CounterCase{65535, 65535},
                              CounterCase{65536, 1}, CounterCase{65537, 2}}) {
    EXPECT_EQ(frame_counter_field(m, c.frame), c.counter) << c.frame;
  }
}

TEST(DiscImageBuilder, MoviesFillerAndFaultsLieWhereDescribed) {
  const DiscLayout disc_layout = sample_spec();
  const std::vector<uint8_t> image = build_image(disc_layout);
  ASSERT_EQ(image.size(), (45 + 30 + kTrailingFillerSectors) * kSectorSize);

  // Every frame is exactly the frame the helpers rebuild, sound and picture included.
  std::vector<uint8_t> frame(kFrameBytes);
  std::vector<uint8_t> video(kFrameVideoBytes);
  for (std::size_t movie = 0; movie < disc_layout.movies.size(); ++movie) {
    const MovieLayout& m = disc_layout.movies[movie];
    MovieSound sound = start_movie_sound(m);
    for (uint32_t f = 0; f < m.frames; ++f) {
      make_movie_frame(disc_layout, movie, f, sound, frame.data());
      const std::size_t at = (m.start_sector + f * kFrameSectors) * kSectorSize;
      if (movie == 1 && f == 1) std::memcpy(frame.data() + 2 * kSectorSize, "SMX", 3);
      EXPECT_EQ(0, std::memcmp(image.data() + at, frame.data(), kFrameBytes))
          << "movie " << movie << " frame " << f;
      frame_video_data(disc_layout, movie, f, video.data());
      for (std::size_t i = 0; i < kSmjSectors; ++i) {
        EXPECT_EQ(0, std::memcmp(frame.data() + (kFirstSmjSector + i) * kSectorSize + 8,
                                 video.data() + i * kVideoPayloadBytes, kVideoPayloadBytes));
      }
    }
  }
  std::vector<uint8_t> left(kAudioPayloadBytes), right(kAudioPayloadBytes);
  frame_audio_payloads(disc_layout, 1, 3, left.data(), right.data());
  const std::size_t last_frame = (3 + 3 * kFrameSectors) * kSectorSize;
  EXPECT_EQ(0, std::memcmp(image.data() + last_frame + kAudioPayloadOffset, left.data(),
                           kAudioPayloadBytes));
  EXPECT_EQ(0, std::memcmp(image.data() + last_frame + kSectorSize + kAudioPayloadOffset,
                           right.data(), kAudioPayloadBytes));

  // The lone SMN sector: the signature, then filler; the sector after it carries no SMR.
  EXPECT_EQ(header_at(image, 1), (Header{'S', 'M', 'N', 0x01, 0x00, 0x09, 0x00, 0x00}));
  EXPECT_NE(header_at(image, 2)[2], 'R');
  // Filler differs from sector to sector and from a rebuild with another seed.
  DiscLayout reseeded = disc_layout;
  reseeded.filler_seed = 8;
  const std::vector<uint8_t> other = build_image(reseeded);
  EXPECT_NE(0, std::memcmp(image.data() + 43 * kSectorSize, image.data() + 44 * kSectorSize,
                           kSectorSize));
  EXPECT_NE(0, std::memcmp(image.data() + 43 * kSectorSize, other.data() + 43 * kSectorSize,
                           kSectorSize));
}

struct LengthCase {
  uint32_t total_sectors;
  uint64_t cut_at_byte;
  uint64_t length;
};
class ImageLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(ImageLength, FollowsTotalAndCut) {
  DiscLayout disc_layout;
  disc_layout.movies.push_back(movie_at(2, 2));
  disc_layout.total_sectors = GetParam().total_sectors;
  disc_layout.cut_at_byte = GetParam().cut_at_byte;
  const std::vector<uint8_t> image = build_image(disc_layout);
  EXPECT_EQ(image.size(), GetParam().length);
  EXPECT_EQ(image_bytes(disc_layout), GetParam().length);
  DiscLayout whole = disc_layout;
  whole.cut_at_byte = 0;
  EXPECT_EQ(0, std::memcmp(image.data(), build_image(whole).data(), image.size()));
}
INSTANTIATE_TEST_SUITE_P(Boundaries, ImageLength,
                         ::testing::Values(LengthCase{0, 0, 24 * kSectorSize},
                                           LengthCase{22, 0, 22 * kSectorSize},
                                           LengthCase{100, 0, 100 * kSectorSize},
                                           LengthCase{0, 1, 1},
                                           LengthCase{0, 5 * kSectorSize + 7, 5 * kSectorSize + 7},
                                           LengthCase{0, 24 * kSectorSize + 1, 24 * kSectorSize}));

TEST(DiscImageBuilder, RejectsDescriptionsItCannotBuild) {
  auto bad = [](auto change) {
    DiscLayout disc_layout;
    disc_layout.movies.push_back(movie_at(10, 2));
    change(disc_layout);
    return !check_disc_layout(disc_layout).empty();
  };
  EXPECT_FALSE(bad([](DiscLayout&) {}));
  EXPECT_TRUE(bad([](DiscLayout& s) { s.disc = 5; }));
  EXPECT_TRUE(bad([](DiscLayout& s) { s.movies[0].frames = 0; }));
  EXPECT_TRUE(bad([](DiscLayout& s) { s.movies.push_back(movie_at(29, 1)); }));  // overlap
  EXPECT_FALSE(bad([](DiscLayout& s) { s.movies.push_back(movie_at(30, 1)); }));
  EXPECT_TRUE(bad([](DiscLayout& s) { s.total_sectors = 29; }));
  EXPECT_TRUE(bad([](DiscLayout& s) { s.movies[0].restart_frames = {0}; }));
  EXPECT_TRUE(bad([](DiscLayout& s) { s.movies[0].restart_frames = {2}; }));
  EXPECT_TRUE(bad([](DiscLayout& s) { s.lone_smn_sectors = {32}; }));
  EXPECT_TRUE(bad([](DiscLayout& s) { s.movies[0].left.amplitude = 1.5; }));
  DiscLayout no_disc;
  no_disc.disc = 0;
  EXPECT_THROW(build_image(no_disc), std::invalid_argument);
}

TEST(DiscImageBuilder, WrittenFileEqualsTheImageInMemory) {
  test::TempDir dir;
  DiscLayout disc_layout = sample_spec();
  disc_layout.cut_at_byte = 20 * kSectorSize + 100;
  ASSERT_TRUE(write_image(disc_layout, (dir / "kv9disc2.img").string()));
  const std::vector<uint8_t> image = build_image(disc_layout);
  EXPECT_EQ(test::read_file(dir / "kv9disc2.img"), std::string(image.begin(), image.end()));
  std::string error;
  EXPECT_FALSE(write_image(disc_layout, (dir / "missing" / "x.img").string(), &error));
  EXPECT_FALSE(error.empty());
}

// --- Sound ---------------------------------------------------------------------------------------

// The decoder, fed the movie's blocks, gives back exactly what the encoder tracked, across
// blocks and frames, saturation included.
class EncoderTracksDecoder : public ::testing::TestWithParam<Waveform> {};

TEST_P(EncoderTracksDecoder, OverManyFrames) {
  ChannelSound sound = start_channel_sound(GetParam());
  ChannelHistory decoder;
  std::vector<uint8_t> payload(kAudioPayloadBytes);
  std::vector<int16_t> tracked(kSamplesPerFrame);
  int16_t pairs[2 * kSamplesPerBlock];
  for (int frame = 0; frame < 40; ++frame) {
    encode_frame_payload(sound, payload.data(), tracked.data());
    for (std::size_t b = 0; b < kBlocksPerFrame; ++b) {
      decode_block(decoder, payload.data() + b * kBlockBytes, pairs, 1);
      for (std::size_t t = 0; t < kSamplesPerBlock; ++t) {
        ASSERT_EQ(pairs[2 * t + 1], tracked[b * kSamplesPerBlock + t])
            << "frame " << frame << " block " << b << " sample " << t;
      }
    }
  }
  EXPECT_EQ(decoder.prev1, sound.history.prev1);
  EXPECT_EQ(decoder.prev2, sound.history.prev2);
}
INSTANTIATE_TEST_SUITE_P(Waveforms, EncoderTracksDecoder,
                         ::testing::Values(Waveform{}, tone(440, 0.25), tone(9000, 1.0),
                                           tone(31, 0.999),
                                           Waveform{Waveform::kNoise, 0, 1.0, 0, 99},
                                           Waveform{Waveform::kNoise, 0, 0.01, 0, 5},
                                           Waveform{Waveform::kSquare, 300, 0, 0, 1},
                                           Waveform{Waveform::kSquare, 7000, 0, 0, 1},
                                           Waveform{Waveform::kConstant, 0, 0, -40000, 1}));

// Against every filter and range tried on its own: none gives a smaller summed error than the
// encoder's choice, on blocks with jumps, ramps and full-scale swings.
TEST(SourceAudioEncoder, KeepsTheLeastErrorOfAllFiltersAndRanges) {
  ChannelHistory history;
  uint64_t state = 3;
  for (int block = 0; block < 600; ++block) {
    int16_t samples[kSamplesPerBlock];
    const int kind = block % 4;
    for (std::size_t t = 0; t < kSamplesPerBlock; ++t) {
      const int32_t r = static_cast<int32_t>(splitmix64_next(state) % 65536) - 32768;
      samples[t] = static_cast<int16_t>(kind == 0   ? r
                                        : kind == 1 ? r / 64 + 300 * static_cast<int32_t>(t)
                                        : kind == 2 ? (t < 14 ? 32767 : -32768)
                                                    : r / 4096);
    }
    uint8_t best[kBlockBytes];
    const ChannelHistory start = history;
    const uint32_t chosen = encode_source_block(history, samples, best, nullptr);
    for (int f = 0; f < kFilterCount; ++f) {
      for (int range = 0; range <= kMaxRange; ++range) {
        // Nibbles by the same rounding, reconstruction by the decoder itself.
        ChannelHistory h = start;
        uint8_t b[kBlockBytes] = {static_cast<uint8_t>(f << 4 | range)};
        uint32_t error = 0;
        for (std::size_t t = 0; t < kSamplesPerBlock; ++t) {
          const auto& k = adpcm_filter_table[f];
          const int32_t p = (h.prev1 * k.filter_k0 + h.prev2 * k.filter_k1) >> 8;
          const int shift = 12 - range;
          const int32_t q = std::clamp((samples[t] - p + ((1 << shift) >> 1)) >> shift, -8, 7);
          b[2 + t / 2] |= static_cast<uint8_t>((q & 15) << (4 * (t % 2)));
          int16_t pairs[2 * kSamplesPerBlock];
          ChannelHistory before = start;
          decode_block(before, b, pairs, 0);
          h.prev2 = t > 0 ? pairs[2 * (t - 1)] : start.prev1;
          h.prev1 = pairs[2 * t];
          error += static_cast<uint32_t>(std::abs(samples[t] - pairs[2 * t]));
        }
        ASSERT_LE(chosen, error) << "block " << block << " filter " << f << " range " << range;
      }
    }
  }
}

TEST(SourceAudioEncoder, ToneComesBackWithHighSignalToNoise) {
  DiscLayout disc_layout;
  disc_layout.movies.push_back(movie_at(0, 30));
  const std::vector<int16_t> decoded = decoded_movie_channel(disc_layout, 0, 0);
  ASSERT_EQ(decoded.size(), 30 * kSamplesPerFrame);
  double signal = 0;
  double noise = 0;
  for (std::size_t n = 0; n < decoded.size(); ++n) {
    const double want = waveform_sample(disc_layout.movies[0].left, n);
    signal += want * want;
    noise += (want - decoded[n]) * (want - decoded[n]);
  }
  const double snr_db = 10 * std::log10(signal / noise);
  RecordProperty("tone_snr_db", std::to_string(snr_db));
  std::printf("440 Hz tone at quarter scale: SNR %.1f dB\n", snr_db);
  EXPECT_GT(snr_db, 45);
}

// --- Pictures ------------------------------------------------------------------------------------

struct DcBitsCase {
  int16_t dc;
  uint8_t byte0;  // low byte of the first word: its bits 7..0
  uint8_t byte1;  // high byte: bits 15..8, the DC's top eight bits
};
class PatternBits : public ::testing::TestWithParam<DcBitsCase> {};

TEST_P(PatternBits, FirstBlockSitsMostSignificantBitFirstInALittleEndianWord) {
  PatternDcs dcs{};
  dcs[0] = GetParam().dc;
  std::vector<uint8_t> bits(kBitstreamBytes);
  pack_pattern_bitstream(dcs, bits.data());
  EXPECT_EQ(bits[0], GetParam().byte0);
  EXPECT_EQ(bits[1], GetParam().byte1);
  PatternDcs back{};
  ASSERT_TRUE(unpack_pattern_bitstream(bits.data(), back));
  EXPECT_EQ(back, dcs);
}
// 10-bit DC then '10', then the next block's first four bits (DC 0: 0000).
INSTANTIATE_TEST_SUITE_P(Extremes, PatternBits,
                         ::testing::Values(DcBitsCase{0, 0x20, 0x00}, DcBitsCase{-1, 0xE0, 0xFF},
                                           DcBitsCase{511, 0xE0, 0x7F},
                                           DcBitsCase{-512, 0x20, 0x80},
                                           DcBitsCase{400, 0x20, 0x64}));

TEST(TestPatternVideo, FrameVideoDataRoundTripsToItsLabel) {
  DiscLayout disc_layout = sample_spec();
  std::vector<uint8_t> video(kFrameVideoBytes);
  std::vector<uint8_t> earlier(kFrameVideoBytes);
  std::vector<uint8_t> luma(kPictureWidth * kPictureHeight);
  frame_video_data(disc_layout, 0, 1, earlier.data());
  frame_video_data(disc_layout, 0, 2, video.data());
  EXPECT_EQ((std::vector<uint8_t>(video.begin(), video.begin() + 8)),
            (std::vector<uint8_t>{0xD2, 0x00, 0x00, 0x38, 0x03, 0x00, 0x02, 0x00}));
  EXPECT_NE(0, std::memcmp(video.data() + kPatternBytes, earlier.data() + kPatternBytes,
                           kFrameVideoBytes - kPatternBytes));

  PatternDcs dcs;
  ASSERT_TRUE(unpack_pattern_bitstream(video.data() + kFrameHeadBytes, dcs));
  PatternDcs expected;
  pattern_dcs(frame_label(disc_layout, 0, 2), expected);
  EXPECT_EQ(dcs, expected);
  // The grey steps show the luma block order: top-left, top-right, bottom-left, bottom-right.
  for (PatternBlock b : {kY0Block, kY1Block, kY2Block}) {
    EXPECT_LT(dcs[pattern_dc_index(7, kGreyStepRow, b)],
              dcs[pattern_dc_index(7, kGreyStepRow, PatternBlock(b + 1))]);
  }
  render_pattern_luma(dcs, luma.data(), kPictureWidth);
  FrameLabel label;
  ASSERT_TRUE(read_frame_label(luma.data(), kPictureWidth, label));
  EXPECT_EQ(label.frame, 2u);
  EXPECT_EQ(label.movie, 0u);
  EXPECT_EQ(label.disc, 2u);

  video[kFrameHeadBytes] ^= 0x10;  // the first block's end-of-block code becomes '11'
  EXPECT_FALSE(unpack_pattern_bitstream(video.data() + kFrameHeadBytes, dcs));
}

TEST(TestPatternVideo, LabelReaderRefusesWhatDoesNotCheck) {
  std::vector<uint8_t> luma(kPictureWidth * kPictureHeight);
  PatternDcs dcs;
  FrameLabel label;
  for (const FrameLabel want : {FrameLabel{0, 0, 1}, FrameLabel{0xFFFF, 255, 4},
                                FrameLabel{0x1234, 30, 3}, FrameLabel{70000, 256, 17}}) {
    pattern_dcs(want, dcs);
    render_pattern_luma(dcs, luma.data(), kPictureWidth);
    ASSERT_TRUE(read_frame_label(luma.data(), kPictureWidth, label));
    EXPECT_EQ(label.frame, want.frame & 0xFFFF);
    EXPECT_EQ(label.movie, want.movie & 0xFF);
    EXPECT_EQ(label.disc, want.disc & 0xF);
  }
  // One macroblock of the frame row inverted; then a picture all black, all white.
  const std::size_t row = kFrameLabelRow * kMacroblockSize;
  for (std::size_t y = row; y < row + kMacroblockSize; ++y) {
    uint8_t* mb = luma.data() + y * kPictureWidth + 3 * kMacroblockSize;
    std::transform(mb, mb + kMacroblockSize, mb, [](uint8_t v) { return uint8_t(255 - v); });
  }
  EXPECT_FALSE(read_frame_label(luma.data(), kPictureWidth, label));
  for (uint8_t level : {uint8_t{28}, uint8_t{228}}) {
    std::fill(luma.begin(), luma.end(), level);
    EXPECT_FALSE(read_frame_label(luma.data(), kPictureWidth, label)) << int{level};
  }
}

}  // namespace
}  // namespace kv9::builder
