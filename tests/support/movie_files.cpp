#include "support/movie_files.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include "support/test_pattern_reader.h"

namespace kv9::test {

namespace fs = std::filesystem;

builder::MovieLayout tone_movie(uint32_t start_sector, uint32_t frames, double left_hz,
                                double right_hz) {
  builder::MovieLayout m;
  m.start_sector = start_sector;
  m.frames = frames;
  m.left = {builder::Waveform::kTone, left_hz, 0.25};
  m.right = {builder::Waveform::kTone, right_hz, 0.25};
  return m;
}

builder::DiscLayout back_to_back(int disc, const std::vector<uint32_t>& frames,
                                 uint32_t first_sector) {
  builder::DiscLayout disc_layout;
  disc_layout.disc = disc;
  uint32_t sector = first_sector;
  double hz = 300;
  for (uint32_t f : frames) {
    disc_layout.movies.push_back(tone_movie(sector, f, hz, hz * 1.5));
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
      if (d != disc_layout.disc) continue;
      for (std::size_t id = 0; id < disc_layout.movies.size(); ++id) {
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

std::string image_name(const builder::DiscLayout& disc_layout) {
  return "kv9disc" + std::to_string(disc_layout.disc) + ".img";
}

void write_disc(const fs::path& dir, const builder::DiscLayout& disc_layout,
                bool with_address_file) {
  // Movies of no frames take no room on the disc: they live in the address file only. Keep
  // them last, so the others keep their places in the description.
  builder::DiscLayout on_disc = disc_layout;
  std::erase_if(on_disc.movies, [](const builder::MovieLayout& m) { return m.frames == 0; });
  std::string error;
  if (!builder::write_image(on_disc, (dir / image_name(disc_layout)).string(), &error)) {
    throw std::runtime_error("cannot build image: " + error);
  }
  if (with_address_file) write_file(dir / "kv9cdadr.ini", address_file_for(disc_layout));
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

std::vector<int16_t> ffmpeg_samples(const fs::path& file) {
  const fs::path raw = file.string() + ".s16";
  const auto r = run_program(file.parent_path(), "ffmpeg",
                             {"-v", "error", "-y", "-i", file.string(), "-map", "0:a", "-f",
                              "s16le", "-acodec", "pcm_s16le", raw.string()});
  if (r.status != 0) return {};
  const std::string bytes = read_file(raw);
  std::vector<int16_t> s(bytes.size() / 2);
  std::memcpy(s.data(), bytes.data(), s.size() * 2);
  fs::remove(raw);
  return s;
}

std::vector<builder::FrameLabel> ffmpeg_picture_labels(const fs::path& file) {
  const fs::path raw = file.string() + ".gray";
  const auto r = run_program(file.parent_path(), "ffmpeg",
                             {"-v", "error", "-y", "-i", file.string(), "-map", "0:v", "-f",
                              "rawvideo", "-pix_fmt", "gray", raw.string()});
  std::vector<builder::FrameLabel> labels;
  if (r.status != 0) return labels;
  const std::string bytes = read_file(raw);
  constexpr std::size_t kW = 320, kH = 224;
  for (std::size_t at = 0; at + kW * kH <= bytes.size(); at += kW * kH) {
    builder::FrameLabel label;
    if (!read_frame_label(reinterpret_cast<const uint8_t*>(bytes.data() + at), kW, label)) {
      label.frame = 0xFFFFFFFF;
    }
    labels.push_back(label);
  }
  fs::remove(raw);
  return labels;
}

std::string ffmpeg_video_packets(const fs::path& file) {
  const fs::path out = file.string() + ".video";
  run_program(file.parent_path(), "ffmpeg",
              {"-v", "error", "-y", "-i", file.string(), "-map", "0:v", "-c", "copy", "-f", "data",
               out.string()});
  std::string bytes = read_file(out);
  fs::remove(out);
  return bytes;
}

double snr_db(const int16_t* want, const int16_t* got, std::size_t n, std::size_t step) {
  double signal = 0, noise = 0;
  for (std::size_t i = 0; i < n; i += step) {
    signal += double(want[i]) * want[i];
    noise += (double(got[i]) - want[i]) * (double(got[i]) - want[i]);
  }
  return noise == 0 ? 200.0 : 10 * std::log10(signal / noise);
}

}  // namespace kv9::test
