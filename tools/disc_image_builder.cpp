#include "tools/disc_image_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numeric>
#include <stdexcept>

#include "common/movie_table.h"
#include "tools/pseudo_random.h"

namespace kv9::builder {
namespace {

inline constexpr uint32_t kCounterFieldLimit = 0xFFFF;  // bytes 6-7 never wrap to 00 00
inline constexpr std::size_t kFillerRunSectors = 64;    // filler written 128 KiB at a time
inline constexpr std::size_t kSoundCacheBytes = std::size_t{32} << 20;
inline constexpr double kNyquistHz = kSourceSampleRate / 2.0;
// Keys that keep the pseudo-random streams of the different kinds of bytes apart.
inline constexpr uint64_t kUnusedBytesKey = 0x534D4E5F554E5553ull;
inline constexpr uint64_t kVideoPaddingKey = 0x534D4A5F50414444ull;
inline constexpr SectorHeader kSmnSignature = first_frame_header(kSmnSector);

// A fault laid on top of a sector once it has been produced.
struct SectorFault {
  uint32_t sector;
  bool lone_smn;
  std::array<char, 3> tag;
};

std::string check_waveform(const Waveform& w) {
  if (!(w.amplitude >= 0 && w.amplitude <= 1)) return "amplitude must lie in 0..1";
  if (!(w.frequency_hz >= 0 && w.frequency_hz <= kNyquistHz)) {
    return "frequency must lie in 0..22050 Hz";
  }
  return {};
}

uint64_t movie_end_sector(const MovieLayout& m) {
  return uint64_t{m.start_sector} + uint64_t{m.frames} * kFrameSectors;
}

std::vector<std::size_t> movies_in_image_order(const DiscLayout& disc_layout) {
  std::vector<std::size_t> order(disc_layout.movies.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return disc_layout.movies[a].start_sector < disc_layout.movies[b].start_sector;
  });
  return order;
}

std::vector<SectorFault> faults_in_image_order(const DiscLayout& disc_layout) {
  std::vector<SectorFault> faults;
  for (const auto& [sector, tag] : disc_layout.wrong_tags) faults.push_back({sector, false, tag});
  for (uint32_t sector : disc_layout.lone_smn_sectors) faults.push_back({sector, true, {}});
  std::stable_sort(faults.begin(), faults.end(),
                   [](const SectorFault& a, const SectorFault& b) { return a.sector < b.sector; });
  return faults;
}

// Encoded sound shared by the movies of an image that carry the same waveform: each movie's
// channel starts from zero history, so equal waveforms give equal blocks, frame for frame.
// Kept up to a fixed number of bytes; beyond that a movie encodes on by itself.
struct SoundTrack {
  Waveform wave;
  ChannelSound encoder;           // has encoded exactly the kept frames
  std::vector<uint8_t> payloads;  // kept frames, one audio payload each
};

struct SoundCache {
  std::vector<std::unique_ptr<SoundTrack>> tracks;
  std::size_t bytes = 0;
};

// One channel of the movie being produced: reads kept frames, extends the track while the
// cache has room, then goes on from the track's encoder state on its own.
struct ChannelCursor {
  SoundTrack* track = nullptr;
  uint32_t frame = 0;
  bool on_own = false;
  ChannelSound own;
};

ChannelCursor open_channel(SoundCache& cache, const Waveform& wave) {
  for (auto& t : cache.tracks) {
    if (t->wave == wave) return {t.get(), 0, false, {}};
  }
  cache.tracks.push_back(
      std::make_unique<SoundTrack>(SoundTrack{wave, start_channel_sound(wave), {}}));
  return {cache.tracks.back().get(), 0, false, {}};
}

void next_channel_payload(SoundCache& cache, ChannelCursor& c, uint8_t* payload) {
  if (!c.on_own) {
    SoundTrack& t = *c.track;
    const std::size_t at = std::size_t{c.frame} * kAudioPayloadBytes;
    if (at == t.payloads.size() && cache.bytes + kAudioPayloadBytes <= kSoundCacheBytes) {
      t.payloads.resize(at + kAudioPayloadBytes);
      encode_frame_payload(t.encoder, t.payloads.data() + at, nullptr);
      cache.bytes += kAudioPayloadBytes;
    }
    if (at < t.payloads.size()) {
      std::memcpy(payload, t.payloads.data() + at, kAudioPayloadBytes);
      ++c.frame;
      return;
    }
    c.own = t.encoder;
    c.on_own = true;
  }
  encode_frame_payload(c.own, payload, nullptr);
}

uint8_t* left_payload_of(uint8_t* frame_bytes) {
  return frame_bytes + kSmnSector * kSectorSize + kAudioPayloadOffset;
}
uint8_t* right_payload_of(uint8_t* frame_bytes) {
  return frame_bytes + kSmrSector * kSectorSize + kAudioPayloadOffset;
}

void fill_filler_sector(const DiscLayout& disc_layout, uint32_t sector, uint8_t* out) {
  fill_pseudo_random(mix_seed(disc_layout.filler_seed, sector), out, kSectorSize);
}

// Produces the image front to back and hands it to `sink(data, bytes)` in frames and runs of
// filler, faults applied, the cut respected. `sink` returns false to stop.
template <class Sink>
bool produce_image(const DiscLayout& disc_layout, Sink&& sink) {
  const uint32_t total = image_sectors(disc_layout);
  const uint64_t limit = image_bytes(disc_layout);
  const std::vector<std::size_t> order = movies_in_image_order(disc_layout);
  const std::vector<SectorFault> faults = faults_in_image_order(disc_layout);
  std::size_t next_fault = 0;
  uint64_t produced = 0;
  SoundCache sound_cache;
  auto buffer =
      std::make_unique<uint8_t[]>(std::max(kFillerRunSectors, kFrameSectors) * kSectorSize);

  // Applies the faults of sectors first..first+count-1 and passes on what lies before the cut.
  auto emit = [&](uint32_t first, std::size_t count) {
    for (; next_fault < faults.size() && faults[next_fault].sector < first + count; ++next_fault) {
      const SectorFault& f = faults[next_fault];
      uint8_t* sector = buffer.get() + std::size_t{f.sector - first} * kSectorSize;
      if (f.lone_smn) {
        std::memcpy(sector, kSmnSignature.data(), kSmnSignature.size());
      } else {
        std::memcpy(sector, f.tag.data(), kHeaderTagBytes);
      }
    }
    const uint64_t bytes = std::min<uint64_t>(count * kSectorSize, limit - produced);
    produced += bytes;
    return sink(buffer.get(), static_cast<std::size_t>(bytes));
  };

  uint32_t sector = 0;
  std::size_t next_movie = 0;
  while (sector < total && produced < limit) {
    if (next_movie < order.size() && disc_layout.movies[order[next_movie]].start_sector == sector) {
      const std::size_t movie = order[next_movie++];
      const MovieLayout& m = disc_layout.movies[movie];
      ChannelCursor left = open_channel(sound_cache, m.left);
      ChannelCursor right = open_channel(sound_cache, m.right);
      for (uint32_t frame = 0; frame < m.frames && produced < limit; ++frame) {
        put_frame_without_sound(disc_layout, movie, frame, buffer.get());
        next_channel_payload(sound_cache, left, left_payload_of(buffer.get()));
        next_channel_payload(sound_cache, right, right_payload_of(buffer.get()));
        if (!emit(sector, kFrameSectors)) return false;
        sector += kFrameSectors;
      }
      sector = static_cast<uint32_t>(movie_end_sector(m));
      continue;
    }
    const uint32_t run_end =
        next_movie < order.size() ? disc_layout.movies[order[next_movie]].start_sector : total;
    const std::size_t count = std::min<std::size_t>(run_end - sector, kFillerRunSectors);
    for (std::size_t i = 0; i < count; ++i) {
      fill_filler_sector(disc_layout, static_cast<uint32_t>(sector + i),
                         buffer.get() + i * kSectorSize);
    }
    if (!emit(sector, count)) return false;
    sector += static_cast<uint32_t>(count);
  }
  return true;
}

}  // namespace

uint16_t frame_counter_field(const MovieLayout& movie, uint32_t frame) {
  if (frame == 0) return 0;
  const auto& r = movie.restart_frames;
  if (std::find(r.begin(), r.end(), frame) != r.end()) return 0;
  return static_cast<uint16_t>((frame - 1) % kCounterFieldLimit + 1);
}

void put_frame_without_sound(const DiscLayout& disc_layout, std::size_t movie, uint32_t frame,
                             uint8_t* frame_bytes) {
  const MovieLayout& m = disc_layout.movies.at(movie);
  const uint16_t counter = frame_counter_field(m, frame);
  for (std::size_t s = 0; s < kFrameSectors; ++s) {
    put_sector_header(frame_bytes + s * kSectorSize, s, counter);
  }
  const uint64_t unused_seed = mix_seed(
      mix_seed(disc_layout.filler_seed ^ kUnusedBytesKey, m.start_sector), uint64_t{frame});
  fill_pseudo_random(unused_seed, frame_bytes + kSmnSector * kSectorSize + kSectorHeaderBytes,
                     kUnusedAudioSectorBytes);
  fill_pseudo_random(~unused_seed, frame_bytes + kSmrSector * kSectorSize + kSectorHeaderBytes,
                     kUnusedAudioSectorBytes);
  uint8_t video[kFrameVideoBytes];
  frame_video_data(disc_layout, movie, frame, video);
  for (std::size_t i = 0; i < kSmjSectors; ++i) {
    std::memcpy(frame_bytes + (kFirstSmjSector + i) * kSectorSize + kVideoPayloadOffset,
                video + i * kVideoPayloadBytes, kVideoPayloadBytes);
  }
}

void put_sector_header(uint8_t* sector, std::size_t sector_in_frame, uint16_t counter) {
  std::memcpy(sector, sector_tag(sector_in_frame).data(), kHeaderTagBytes);
  sector[kHeaderVersionAt] = kHeaderVersion;
  sector[kHeaderSectorAt] = static_cast<uint8_t>(sector_in_frame);
  sector[kHeaderLastSectorAt] = kHeaderLastSector;
  put_le16(sector + kHeaderCounterAt, counter);
}

std::string check_disc_layout(const DiscLayout& disc_layout) {
  if (!valid_disc(disc_layout.disc)) return "disc must be 1 to 4";
  const uint64_t total = disc_layout.total_sectors != 0 ? disc_layout.total_sectors
                                                        : uint64_t{image_sectors(disc_layout)};
  for (std::size_t i = 0; i < disc_layout.movies.size(); ++i) {
    const MovieLayout& m = disc_layout.movies[i];
    const std::string which = "movie " + std::to_string(i) + ": ";
    if (m.frames == 0) return which + "a movie needs at least one frame";
    const uint64_t end = movie_end_sector(m);
    if (end > kMaxImageSectors) return which + "ends beyond 4 GiB";
    if (end > total) return which + "ends beyond the image's last sector";
    for (uint32_t r : m.restart_frames) {
      if (r == 0 || r >= m.frames) return which + "restart frames must lie in 1..frames-1";
    }
    for (const Waveform* w : {&m.left, &m.right}) {
      const std::string bad = check_waveform(*w);
      if (!bad.empty()) return which + bad;
    }
  }
  const std::vector<std::size_t> order = movies_in_image_order(disc_layout);
  for (std::size_t i = 1; i < order.size(); ++i) {
    if (movie_end_sector(disc_layout.movies[order[i - 1]]) >
        disc_layout.movies[order[i]].start_sector) {
      return "movies " + std::to_string(order[i - 1]) + " and " + std::to_string(order[i]) +
             " overlap";
    }
  }
  if (total > kMaxImageSectors) return "the image would exceed 4 GiB";
  for (const SectorFault& f : faults_in_image_order(disc_layout)) {
    if (f.sector >= total) return "sector " + std::to_string(f.sector) + " lies beyond the image";
  }
  return {};
}

uint32_t image_sectors(const DiscLayout& disc_layout) {
  if (disc_layout.total_sectors != 0) return disc_layout.total_sectors;
  uint64_t end = 0;
  for (const MovieLayout& m : disc_layout.movies) end = std::max(end, movie_end_sector(m));
  return static_cast<uint32_t>(std::min<uint64_t>(end + kTrailingFillerSectors, UINT32_MAX));
}

uint64_t image_bytes(const DiscLayout& disc_layout) {
  const uint64_t whole = uint64_t{image_sectors(disc_layout)} * kSectorSize;
  return disc_layout.cut_at_byte != 0 ? std::min(whole, disc_layout.cut_at_byte) : whole;
}

FrameLabel frame_label(const DiscLayout& disc_layout, std::size_t movie, uint32_t frame) {
  return {frame, static_cast<uint32_t>(movie), static_cast<uint32_t>(disc_layout.disc)};
}

void frame_video_data(const DiscLayout& disc_layout, std::size_t movie, uint32_t frame,
                      uint8_t* video) {
  const uint64_t seed = mix_seed(mix_seed(mix_seed(disc_layout.filler_seed ^ kVideoPaddingKey,
                                                   static_cast<uint64_t>(disc_layout.disc)),
                                          movie),
                                 frame);
  make_frame_video_data(frame_label(disc_layout, movie, frame), seed, video);
}

std::vector<uint8_t> build_image(const DiscLayout& disc_layout) {
  const std::string bad = check_disc_layout(disc_layout);
  if (!bad.empty()) throw std::invalid_argument(bad);
  std::vector<uint8_t> image;
  image.reserve(static_cast<std::size_t>(image_bytes(disc_layout)));
  produce_image(disc_layout, [&](const uint8_t* data, std::size_t bytes) {
    image.insert(image.end(), data, data + bytes);
    return true;
  });
  return image;
}

bool write_image(const DiscLayout& disc_layout, const std::string& path, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error != nullptr) *error = why;
    return false;
  };
  const std::string bad = check_disc_layout(disc_layout);
  if (!bad.empty()) return fail(bad);
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return fail("cannot create " + path);
  const bool written = produce_image(disc_layout, [&](const uint8_t* data, std::size_t bytes) {
    return std::fwrite(data, 1, bytes, out) == bytes;
  });
  const bool closed = std::fclose(out) == 0;
  if (!written || !closed) return fail("cannot write " + path);
  return true;
}

}  // namespace kv9::builder
