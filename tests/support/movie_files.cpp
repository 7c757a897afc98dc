#include "support/movie_files.h"

#include <sys/stat.h>

#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace kv9::test {

namespace fs = std::filesystem;

builder::DiscLayout back_to_back(int disc, const std::vector<uint32_t>& frames,
                                 uint32_t first_sector) {
  builder::DiscLayout disc_layout;
  disc_layout.disc = disc;
  double hz = 300;
  for (uint32_t f : frames) {
    const builder::Waveform left{builder::Waveform::kTone, hz, 0.25},
        right{builder::Waveform::kTone, hz * 1.5, 0.25};
    disc_layout.movies.push_back({first_sector, f, left, right, {}});
    first_sector += f * kFrameSectors;
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

std::string written_address_file(const fs::path& path) {
  const std::string text = read_file(path);
  return windows_tools() ? from_windows_text(text) : text;
}

void write_disc(const fs::path& dir, const builder::DiscLayout& disc_layout, bool with_address_file,
                uint64_t at) {
  // Movies of no frames take no room on the disc: they live in the address file only. Keep
  // them last, so the others keep their places in the description.
  builder::DiscLayout on_disc = disc_layout;
  std::erase_if(on_disc.movies, [](const builder::MovieLayout& m) { return m.frames == 0; });
  const fs::path image = dir / ("kv9disc" + std::to_string(disc_layout.disc) + ".img");
  if (at != 0) {
    const std::vector<uint8_t> bytes = builder::build_image(on_disc);
    write_sparse_file(image, at + bytes.size(), {{at, std::string(bytes.begin(), bytes.end())}});
  } else if (!builder::write_image(on_disc, image.string())) {
    throw std::runtime_error("no image");
  }
  if (with_address_file) write_file(dir / "kv9cdadr.ini", address_file_for({disc_layout}));
}

std::string output_file(const std::string& tool, int movie) {
  const char* type = tool == "vidsound" ? ".wav" : tool == "videxport" ? ".mkv" : ".str";
  return (tool == "vidconv" ? "kv9x" : "kv9_") + std::to_string(movie) + type;
}

PipedImage::PipedImage(const fs::path& dir, const std::string& name) {
  fs::rename(dir / name, dir / (name + ".source"));
  if (mkfifo((dir / name).c_str(), 0600) != 0) throw std::runtime_error("no pipe");
  writer_ = std::thread([=] {
    run_program(dir, "timeout", {"60", "sh", "-c", "cat " + name + ".source > " + name});
  });
}

std::vector<uint8_t> sound_block_pairs(const builder::DiscLayout& disc_layout, std::size_t movie) {
  const builder::MovieLayout& m = disc_layout.movies.at(movie);
  builder::ChannelSound sound[2] = {builder::start_channel_sound(m.left),
                                    builder::start_channel_sound(m.right)};
  std::vector<uint8_t> pairs(std::size_t{m.frames} * kFrameBlockPairBytes);
  uint8_t payload[2][kAudioPayloadBytes];
  for (std::size_t at = 0; at < pairs.size(); at += kFrameBlockPairBytes) {
    for (int c = 0; c < 2; ++c) builder::encode_frame_payload(sound[c], payload[c], nullptr);
    for (std::size_t b = 0; b < kBlockPairBytes * kBlocksPerFrame; ++b) {
      pairs[at + b] =
          payload[b / kBlockBytes % 2][b / kBlockPairBytes * kBlockBytes + b % kBlockBytes];
    }
  }
  return pairs;
}

}  // namespace kv9::test
