// videxport's picture decoding through libavcodec, without a decoder of our own and without
// naming the picture format: one frame's eight video sectors are built in memory as the
// raw-sector stream vidcopy writes, libavformat's probe finds the stream in them, and the
// decoder of the stream found is opened with the stream's parameters (codec, picture size).
// Every movie frame then hands the decoder the packet the stream's demuxer makes of that frame:
// the first 16128 bytes of the frame video data, the ones eight sectors carry.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "common/frame_reader.h"
#include "common/stream_container.h"

namespace kv9 {

inline constexpr int kFramePacketBytes = static_cast<int>(kDeclaredFrameSize);
static_assert(kFramePacketBytes == kCarriedByEightChunks);

struct PictureDecoder {
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;  // one frame's video data, refilled in place for every frame
  AVFrame* picture = nullptr;  // the decoder's last picture
  VideoStaging staging{};
};

// Probes the stream form and opens its decoder. False when libavformat or libavcodec cannot.
bool open_picture_decoder(PictureDecoder& d);
void close_picture_decoder(PictureDecoder& d);

// Decodes the frame's picture into d.picture. False when the decoder gives no picture of the
// stream's size for it.
bool decode_frame_picture(PictureDecoder& d, const SourceFrame& frame);

}  // namespace kv9
