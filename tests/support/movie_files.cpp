#include "support/movie_files.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace kv9::test {

namespace fs = std::filesystem;

builder::DiscLayout back_to_back(int disc, const std::vector<uint32_t>& frames,
                                 uint32_t first_sector) {
  builder::DiscLayout disc_layout;
  disc_layout.disc = disc;
  uint32_t sector = first_sector;
  double hz = 300;
  for (uint32_t f : frames) {
    builder::MovieLayout m;
    m.start_sector = sector;
    m.frames = f;
    m.left = {builder::Waveform::kTone, hz, 0.25};
    m.right = {builder::Waveform::kTone, hz * 1.5, 0.25};
    disc_layout.movies.push_back(m);
    sector += f * kFrameSectors;
    hz += 110;
  }
  return disc_layout;
}

std::string address_file_for(const std::vector<builder::DiscLayout>& discs) {
  std::ostringstream s;
  s << "[Karvelon Tidewater CD-ROM movie address information]\n";
  for (int d = 1; d <= 4; ++d) {
    s << "[kv9disc" << d << ".img]\n";
    for (const auto& disc_layout : discs) {
      for (std::size_t id = 0; d == disc_layout.disc && id < disc_layout.movies.size(); ++id) {
        char line[80];
        std::snprintf(line, sizeof line, "id=%zu, address=0x%08X, frame=0x%04X\n", id,
                      builder::movie_address(disc_layout.movies[id]),
                      disc_layout.movies[id].frames);
        s << line;
      }
    }
  }
  return s.str();
}

void write_disc(const fs::path& dir, const builder::DiscLayout& disc_layout,
                bool with_address_file) {
  // Movies of no frames take no room on the disc: they live in the address file only. Keep
  // them last, so the others keep their places in the description.
  builder::DiscLayout on_disc = disc_layout;
  std::erase_if(on_disc.movies, [](const builder::MovieLayout& m) { return m.frames == 0; });
  std::string error;
  const fs::path image = dir / ("kv9disc" + std::to_string(disc_layout.disc) + ".img");
  if (!builder::write_image(on_disc, image.string(), &error)) {
    throw std::runtime_error("cannot build image: " + error);
  }
  if (with_address_file) write_file(dir / "kv9cdadr.ini", address_file_for(disc_layout));
}

std::vector<uint8_t> sound_payloads(const builder::DiscLayout& disc_layout, std::size_t movie) {
  const builder::MovieLayout& m = disc_layout.movies.at(movie);
  builder::ChannelSound left = builder::start_channel_sound(m.left);
  builder::ChannelSound right = builder::start_channel_sound(m.right);
  std::vector<uint8_t> payloads(std::size_t{m.frames} * 2 * kAudioPayloadBytes);
  for (uint8_t* p = payloads.data(); p < payloads.data() + payloads.size();
       p += 2 * kAudioPayloadBytes) {
    builder::encode_frame_payload(left, p, nullptr);
    builder::encode_frame_payload(right, p + kAudioPayloadBytes, nullptr);
  }
  return payloads;
}

std::string expected_stream_header() {
  return std::string("RIFF\0\0\0\0CDXA", 12) + std::string(32, '\0');
}

std::string expected_video_sector(const std::array<uint8_t, 4>& subheader, const uint8_t* video,
                                  uint32_t frame_number, uint8_t index, uint8_t count) {
  std::string s(2352, '\0');
  auto put = [&](std::size_t at, std::initializer_list<int> bytes) {
    for (int b : bytes) s[at++] = static_cast<char>(b);
  };
  put(0, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00});
  std::memcpy(s.data() + 16, subheader.data(), 4);
  std::memcpy(s.data() + 20, subheader.data(), 4);
  put(24, {0x60, 0x01, 0x01, 0x80, index, 0, count, 0});
  put(32, {int(frame_number & 0xFF), int((frame_number >> 8) & 0xFF), 0, 0});
  put(36, {0x00, 0x3F, 0x00, 0x00, 0x40, 0x01, 0xE0, 0x00});
  std::memcpy(s.data() + 44, video, 8);
  std::memcpy(s.data() + 56, video + 2016 * index, 2016);
  return s;
}

std::string probe_streams(const fs::path& file, const std::string& entries) {
  return run_program(file.parent_path(), "ffprobe",
                     {"-v", "error", "-show_entries", "stream=" + entries, "-of",
                      "default=noprint_wrappers=1", file.string()})
      .output;
}

// ffmpeg's decoding of a file's stream `map` into raw bytes of the given format.
std::string ffmpeg_raw(const fs::path& file, const char* map, std::vector<std::string> format) {
  const fs::path raw = file.string() + ".raw";
  std::vector<std::string> args = {"-v", "error", "-y", "-i", file.string(), "-map", map};
  args.insert(args.end(), format.begin(), format.end());
  args.push_back(raw.string());
  const bool ok = run_program(file.parent_path(), "ffmpeg", args).status == 0;
  const std::string bytes = ok ? read_file(raw) : "";
  fs::remove(raw);
  return bytes;
}

std::vector<int16_t> ffmpeg_samples(const fs::path& file) {
  const std::string bytes = ffmpeg_raw(file, "0:a", {"-f", "s16le", "-acodec", "pcm_s16le"});
  std::vector<int16_t> s(bytes.size() / 2);
  std::memcpy(s.data(), bytes.data(), s.size() * 2);
  return s;
}

std::vector<int64_t> ffmpeg_frame_labels(const fs::path& file) {
  constexpr int kW = 320, kH = 224, kRow = 12 * 16;  // the label row: macroblock row 12
  const std::string bytes = ffmpeg_raw(file, "0:v", {"-f", "rawvideo", "-pix_fmt", "gray"});
  std::vector<int64_t> labels;
  for (std::size_t at = 0; at + kW * kH <= bytes.size(); at += kW * kH) {
    // A bit per macroblock, most significant leftmost: white when its inner 8x8 pixels are
    // brighter than 128 on average.
    uint32_t bits = 0;
    for (int column = 0; column < kW / 16; ++column) {
      int sum = 0;
      for (int y = 4; y < 12; ++y) {
        for (int x = 4; x < 12; ++x) sum += uint8_t(bytes[at + (kRow + y) * kW + column * 16 + x]);
      }
      bits = bits << 1 | (sum > 128 * 64 ? 1 : 0);
    }
    // The frame index and its check nibble, read back by redrawing the row.
    const builder::FrameLabel label = {bits >> 4, 0, 0};
    labels.push_back(builder::frame_row_bits(label) == bits ? int64_t{label.frame} : -1);
  }
  return labels;
}

double snr_db(const std::vector<int16_t>& want, const std::vector<int16_t>& got) {
  double signal = 0, noise = 0;
  for (std::size_t i = 0; i < want.size() && i < got.size(); ++i) {
    signal += double(want[i]) * want[i];
    noise += (double(got[i]) - want[i]) * (double(got[i]) - want[i]);
  }
  return noise == 0 ? 200.0 : 10 * std::log10(signal / noise);
}

}  // namespace kv9::test
