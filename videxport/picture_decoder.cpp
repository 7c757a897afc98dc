#include "videxport/picture_decoder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
}

#include "vidcopy/video_only_stream.h"

namespace kv9 {
namespace {

// The probe stream: the stream header and one frame's eight video sectors, as vidcopy writes a
// movie of one frame.
inline constexpr std::size_t kProbeStreamBytes =
    kStreamHeaderBytes + kVideoOnlySectorsPerFrame * kRawSectorSize;
static_assert(kProbeStreamBytes == 18860);
inline constexpr int kProbeIoBufferBytes = 4096;

struct MemoryReader {
  const uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t at = 0;
};

int read_memory(void* opaque, uint8_t* buf, int buf_size) {
  MemoryReader& r = *static_cast<MemoryReader*>(opaque);
  const std::size_t n = std::min(r.size - r.at, static_cast<std::size_t>(buf_size));
  if (n == 0) return AVERROR_EOF;
  std::memcpy(buf, r.data + r.at, n);
  r.at += n;
  return static_cast<int>(n);
}

// Writes the probe stream with vidcopy's writers into `bytes`. Its frame video data count up
// (byte i is i mod 251), so the packet the demuxer makes of it shows which bytes it carries.
bool write_probe_stream(uint8_t* bytes, VideoOnlyState& state, OutputFile& out) {
  open_memory_output(out, bytes, kProbeStreamBytes);
  init_video_only(state);
  for (std::size_t i = 0; i < kFrameVideoBytes; ++i)
    state.staging[i] = static_cast<uint8_t>(i % 251);
  write_stream_header(out);
  set_frame_fields(state.sector, 1, kVideoOnlySectorsPerFrame, state.staging.data());
  for (uint8_t j = 0; j < kVideoOnlySectorsPerFrame; ++j) {
    write_video_sector(out, state.sector, state.staging, j);
  }
  return close_output(out) && out.memory_used == kProbeStreamBytes;
}

// Opens the probe stream through libavformat's probe and reads its one packet. True when the
// packet is the first 16128 bytes of the frame video data, as decode_frame_picture hands them
// on; `params` then holds the stream's codec parameters.
bool probe_picture_stream(AVCodecParameters* params) {
  static std::array<uint8_t, kProbeStreamBytes> bytes;
  static VideoOnlyState state;
  static OutputFile out;
  if (!write_probe_stream(bytes.data(), state, out)) return false;

  MemoryReader reader{bytes.data(), kProbeStreamBytes, 0};
  auto* io_buffer = static_cast<uint8_t*>(av_malloc(kProbeIoBufferBytes));
  AVIOContext* io = io_buffer == nullptr
                        ? nullptr
                        : avio_alloc_context(io_buffer, kProbeIoBufferBytes, 0, &reader,
                                             read_memory, nullptr, nullptr);
  AVFormatContext* demuxer = avformat_alloc_context();
  AVPacket* packet = av_packet_alloc();
  bool found = false;
  if (io != nullptr && demuxer != nullptr && packet != nullptr) {
    demuxer->pb = io;
    demuxer->flags |= AVFMT_FLAG_CUSTOM_IO;
    // A failed open frees the demuxer context and clears the pointer.
    if (avformat_open_input(&demuxer, nullptr, nullptr, nullptr) == 0) {
      // The stream is made when its first packet is read.
      found =
          av_read_frame(demuxer, packet) == 0 && packet->size == kFramePacketBytes &&
          std::memcmp(packet->data, state.staging.data(), kFramePacketBytes) == 0 &&
          avcodec_parameters_copy(params, demuxer->streams[packet->stream_index]->codecpar) >= 0;
    }
  }
  av_packet_free(&packet);
  avformat_close_input(&demuxer);
  avformat_free_context(demuxer);
  if (io != nullptr) av_freep(&io->buffer);
  if (io == nullptr) av_free(io_buffer);
  avio_context_free(&io);
  return found;
}

}  // namespace

bool open_picture_decoder(PictureDecoder& d) {
  AVCodecParameters* params = avcodec_parameters_alloc();
  const AVCodec* codec = nullptr;
  bool ok = params != nullptr && probe_picture_stream(params) &&
            (codec = avcodec_find_decoder(params->codec_id)) != nullptr &&
            (d.codec = avcodec_alloc_context3(codec)) != nullptr &&
            avcodec_parameters_to_context(d.codec, params) >= 0;
  avcodec_parameters_free(&params);
  if (!ok) return false;
  // One thread: every packet gives its picture before the next packet is sent.
  d.codec->thread_count = 1;
  ok = avcodec_open2(d.codec, codec, nullptr) == 0 && (d.packet = av_packet_alloc()) != nullptr &&
       av_new_packet(d.packet, kFramePacketBytes) == 0 && (d.picture = av_frame_alloc()) != nullptr;
  return ok;
}

void close_picture_decoder(PictureDecoder& d) {
  av_frame_free(&d.picture);
  av_packet_free(&d.packet);
  avcodec_free_context(&d.codec);
}

bool decode_frame_picture(PictureDecoder& d, const SourceFrame& frame) {
  gather_frame_video(frame, d.staging.data());
  // The decoder lets go of the packet's data once it has decoded it; the buffer is reused.
  if (av_packet_make_writable(d.packet) < 0) return false;
  std::memcpy(d.packet->data, d.staging.data(), kFramePacketBytes);
  if (avcodec_send_packet(d.codec, d.packet) < 0) return false;
  if (avcodec_receive_frame(d.codec, d.picture) < 0) return false;
  return d.picture->width == d.codec->width && d.picture->height == d.codec->height &&
         d.picture->format == d.codec->pix_fmt;
}

}  // namespace kv9
