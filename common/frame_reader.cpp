#include "common/frame_reader.h"

#include <cstring>

namespace kv9 {
namespace {

bool tag_differs(const SourceFrame& frame, std::size_t s) {
  return std::memcmp(frame_sector(frame, s), sector_tag(s).data(), kHeaderTagBytes) != 0;
}

}  // namespace

void read_movie_frame(ImageStream& image, ProgressMeter& meter, SourceFrame& frame) {
  // The whole frame is read at once; the marks come out exactly as if it were read sector by
  // sector, since nothing else is printed in between.
  read_image(image, frame.data(), frame.size());
  for (std::size_t s = 0; s < kFrameSectors; ++s) advance_progress(meter);
  check_frame_headers(frame, *meter.console);
}

void gather_frame_video(const SourceFrame& f, uint8_t* video) {
  for (std::size_t j = 0; j < kSmjSectors; ++j) {
    std::memcpy(video + j * kVideoPayloadBytes, video_payload(f, j), kVideoPayloadBytes);
  }
}

void check_frame_headers(const SourceFrame& frame, MovieConsole& console) {
  if (tag_differs(frame, kSmnSector)) console_puts(console, "SMN Error");
  if (tag_differs(frame, kSmrSector)) console_puts(console, "SMR Error");
  for (std::size_t j = 0; j < kSmjSectors; ++j) {
    if (tag_differs(frame, kFirstSmjSector + j)) {
      console_printf(console, "SMJ Error(%d)", static_cast<int>(j));
    }
  }
}

void skip_movie(ImageStream& image, uint32_t frames) {
  skip_image(image, uint64_t{frames} * kFrameBytes);
}

}  // namespace kv9
