// Reading a movie frame by frame: ten source sectors of 2048 bytes, SMN (left audio), SMR
// (right audio) and eight SMJ (video), each opening with an 8-byte header.
#pragma once

#include <array>
#include <cstdint>

#include "common/image_stream.h"
#include "common/layout.h"
#include "common/progress_meter.h"

namespace kv9 {

// One movie frame as read: sector s at byte 2048 * s.
using SourceFrame = std::array<uint8_t, kFrameBytes>;

inline const uint8_t* frame_sector(const SourceFrame& f, std::size_t s) {
  return f.data() + s * kSectorSize;
}
// Audio payload of channel 0 (SMN sector) or 1 (SMR sector): 105 blocks.
inline const uint8_t* audio_payload(const SourceFrame& f, int channel) {
  return frame_sector(f, kSmnSector + channel) + kAudioPayloadOffset;
}
// Video payload of SMJ sector j (0..7): 2040 bytes.
inline const uint8_t* video_payload(const SourceFrame& f, std::size_t j) {
  return frame_sector(f, kFirstSmjSector + j) + kVideoPayloadOffset;
}

// Joins the frame's eight video payloads into `video` (16320 bytes), in sector order.
void gather_frame_video(const SourceFrame& f, uint8_t* video);

// Reads the next frame (exactly 20480 bytes) from the image, advancing the progress meter once
// per sector, then checks its sector tags on the meter's console.
void read_movie_frame(ImageStream& image, ProgressMeter& meter, SourceFrame& frame);

// Prints "SMN Error", "SMR Error" and "SMJ Error(%d)" for every tag that differs.
void check_frame_headers(const SourceFrame& frame, MovieConsole& console);

// Passes over a movie's frames without keeping anything and without printing.
void skip_movie(ImageStream& image, uint32_t frames);

}  // namespace kv9
