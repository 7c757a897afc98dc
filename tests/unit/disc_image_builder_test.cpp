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
#include <string>
#include <vector>

#include "common/adpcm_decoder.h"
#include "common/layout.h"
#include "support/built_movie.h"
#include "support/reference_decoder.h"
#include "support/test_pattern_reader.h"

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
DiscLayout sample_layout() {
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
  const std::vector<uint8_t> image = build_image(sample_layout());
  EXPECT_EQ(header_at(image, 3), (Header{0x53, 0x4D, 0x4E, 0x01, 0x00, 0x09, 0x00, 0x00}));
  EXPECT_EQ(header_at(image, 4), (Header{0x53, 0x4D, 0x52, 0x01, 0x01, 0x09, 0x00, 0x00}));
  EXPECT_EQ(header_at(image, 5), (Header{0x53, 0x4D, 0x4A, 0x01, 0x02, 0x09, 0x00, 0x00}));
  EXPECT_EQ(header_at(image, 12), (Header{0x53, 0x4D, 0x4A, 0x01, 0x09, 0x09, 0x00, 0x00}));
}

TEST(DiscImageBuilder, MoviesFillerAndFaultsLieWhereDescribed) {
  const DiscLayout disc_layout = sample_layout();
  const std::vector<uint8_t> image = build_image(disc_layout);
  ASSERT_EQ(image.size(), (45 + 30 + kTrailingFillerSectors) * kSectorSize);

  // Every frame is exactly the frame the helpers rebuild, sound and picture included.
  std::vector<uint8_t> frame(kFrameBytes);
  std::vector<uint8_t> video(kFrameVideoBytes);
  for (std::size_t movie = 0; movie < disc_layout.movies.size(); ++movie) {
    const MovieLayout& m = disc_layout.movies[movie];
    test::MovieSound sound = test::start_movie_sound(m);
    for (uint32_t f = 0; f < m.frames; ++f) {
      test::make_movie_frame(disc_layout, movie, f, sound, frame.data());
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
      test::decode_block(decoder, payload.data() + b * kBlockBytes, pairs, 1);
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

// --- Pictures ------------------------------------------------------------------------------------

TEST(TestPatternVideo, FrameVideoDataRoundTripsToItsLabel) {
  DiscLayout disc_layout = sample_layout();
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
  ASSERT_TRUE(test::unpack_pattern_bitstream(video.data() + kFrameHeadBytes, dcs));
  PatternDcs expected;
  pattern_dcs(frame_label(disc_layout, 0, 2), expected);
  EXPECT_EQ(dcs, expected);
  // The grey steps show the luma block order: top-left, top-right, bottom-left, bottom-right.
  for (PatternBlock b : {kY0Block, kY1Block, kY2Block}) {
    EXPECT_LT(dcs[pattern_dc_index(7, kGreyStepRow, b)],
              dcs[pattern_dc_index(7, kGreyStepRow, PatternBlock(b + 1))]);
  }
  test::render_pattern_luma(dcs, luma.data(), kPictureWidth);
  FrameLabel label;
  ASSERT_TRUE(test::read_frame_label(luma.data(), kPictureWidth, label));
  EXPECT_EQ(label.frame, 2u);
  EXPECT_EQ(label.movie, 0u);
  EXPECT_EQ(label.disc, 2u);

  video[kFrameHeadBytes] ^= 0x10;  // the first block's end-of-block code becomes '11'
  EXPECT_FALSE(test::unpack_pattern_bitstream(video.data() + kFrameHeadBytes, dcs));
}

// A person reads the frame's number, counted from 1: white 8x8 blocks of a block font on the
// black band across macroblock rows 3 to 7 (block rows 6 to 15).
TEST(TestPatternVideo, ShowsTheFrameNumberInDigits) {
  PatternDcs dcs;
  pattern_dcs({20, 0, 1}, dcs);
  std::vector<uint8_t> luma(kPictureWidth * kPictureHeight);
  test::render_pattern_luma(dcs, luma.data(), kPictureWidth);
  std::vector<std::string> band;  // '#' for a white block
  for (int y = 6 * 8 + 4; y < 16 * 8; y += 8) {
    band.emplace_back();
    for (int x = 4; x < kPictureWidth; x += 8)
      band.back() += luma[y * kPictureWidth + x] > 128 ? '#' : '.';
  }
  // The smallest box around the white blocks.
  std::erase_if(band, [](const std::string& row) { return row.find('#') == std::string::npos; });
  std::size_t left = band[0].size(), right = 0;
  for (const std::string& row : band) {
    left = std::min(left, row.find('#'));
    right = std::max(right, row.rfind('#'));
  }
  for (std::string& row : band) row = row.substr(left, right + 1 - left);
  EXPECT_EQ(band, (std::vector<std::string>{".###....#.", "#...#..##.", "....#...#.", "...#....#.",
                                            "..#.....#.", ".#......#.", "#####..###"}));
}

}  // namespace
}  // namespace kv9::builder
