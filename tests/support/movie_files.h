// Built disc images with their address file, and the sound the builder lays into them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"
#include "tools/disc_image_builder.h"

namespace kv9::test {

// Movies of the given frame counts lying back to back from `first_sector` on, each with its
// own pair of quarter-scale tones.
builder::DiscLayout back_to_back(int disc, const std::vector<uint32_t>& frames,
                                 uint32_t first_sector = 8);

// The address-file text that lists the descriptions' movies as ids 0, 1, ... of their discs.
std::string address_file_for(const std::vector<builder::DiscLayout>& discs);

// The address file as vidscan wrote it, with "\n" line ends: the Windows build writes it as
// text, each line ending in "\r\n".
std::string written_address_file(const std::filesystem::path& path);

// Writes "kv9disc<d>.img" and, unless told not to, "kv9cdadr.ini" into the directory; the image
// moved `at` bytes on in a sparse file, if asked.
void write_disc(const std::filesystem::path& dir, const builder::DiscLayout& disc_layout,
                bool with_address_file = true, uint64_t at = 0);

// The file an extractor writes for a movie (100 x disc + id): kv9_100.wav, kv9x100.str...
std::string output_file(const std::string& tool, int movie);

// Turns the image `name` in `dir` into a pipe of that name that a writer feeds, as a decompressor
// would, until whoever opens it stops reading.
class PipedImage {
 public:
  PipedImage(const std::filesystem::path& dir, const std::string& name);
  ~PipedImage() { writer_.join(); }

 private:
  std::thread writer_;
};

// The sound blocks of a built movie as block pairs, frame after frame: 105 pairs of a left and a
// right block per frame.
std::vector<uint8_t> sound_block_pairs(const builder::DiscLayout& disc_layout, std::size_t movie);

}  // namespace kv9::test
