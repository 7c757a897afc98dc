#include "videxport/movie_export.h"

#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
}

#include "platform/file_position.h"

namespace kv9 {
namespace {

// The sound frame is handed on as vidsound's sample bytes: 16-bit little-endian pairs, which
// are the encoder's interleaved native 16-bit samples.
static_assert(std::endian::native == std::endian::little);
inline constexpr int kSoundChannels = 2;
static_assert(kSoundChannels * sizeof(int16_t) == kBytesPerPair);
static_assert(kSamplesPerFrame * kBytesPerPair ==
              std::tuple_size_v<decltype(MovieAudioState::samples)>);
inline constexpr AVRational kPictureTimeBase = {1, static_cast<int>(kFramesPerSecond)};
inline constexpr AVRational kFrameRate = {static_cast<int>(kFramesPerSecond), 1};
inline constexpr AVRational kSoundTimeBase = {1, static_cast<int>(kSourceSampleRate)};

// FFV1 version 3: slices coded on their own (the encoder's threads share them out) and every
// picture a key frame, so editors can cut anywhere.
inline constexpr int kFfv1Version = 3;
inline constexpr int kFfv1Slices = 4;
// FFV1's own slice threads: a run with one worker gives the encoder two; movie workers side by
// side already keep the processors busy, and give each encoder one.
inline constexpr int kLoneWorkerEncoderThreads = 2;
inline constexpr int kMuxIoBufferBytes = 1 << 16;

// Pixel formats that name a colour range, and the format with the same bytes that encoders
// take together with the full range set on the side.
struct SameBytesFormat {
  AVPixelFormat full_range;
  AVPixelFormat plain;
};
inline constexpr std::array<SameBytesFormat, 5> kFullRangeFormats = {{
    {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUV420P},
    {AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUV422P},
    {AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_YUV444P},
    {AV_PIX_FMT_YUVJ440P, AV_PIX_FMT_YUV440P},
    {AV_PIX_FMT_YUVJ411P, AV_PIX_FMT_YUV411P},
}};

bool encoder_takes(const AVCodec* codec, AVPixelFormat format) {
  for (const AVPixelFormat* f = codec->pix_fmts; f != nullptr && *f != AV_PIX_FMT_NONE; ++f) {
    if (*f == format) return true;
  }
  return false;
}

// The picture encoder for the decoder's pictures as they are: same size, same bytes. FFV1
// gives each picture's packet as soon as it has the picture (it holds back only two-pass
// statistics, not asked for here), so it is never drained and serves every movie of the run.
bool open_picture_encoder(MovieExportState& s, int workers) {
  const AVCodecContext* d = s.decoder.codec;
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_FFV1);
  if (codec == nullptr) return false;
  AVCodecContext* e = s.picture_encoder = avcodec_alloc_context3(codec);
  if (e == nullptr) return false;
  e->width = d->width;
  e->height = d->height;
  e->sample_aspect_ratio = d->sample_aspect_ratio;
  e->pix_fmt = d->pix_fmt;
  e->color_range = d->color_range;
  e->colorspace = d->colorspace;
  e->color_primaries = d->color_primaries;
  e->color_trc = d->color_trc;
  e->chroma_sample_location = d->chroma_sample_location;
  if (!encoder_takes(codec, e->pix_fmt)) {
    for (const SameBytesFormat& f : kFullRangeFormats) {
      if (f.full_range != e->pix_fmt) continue;
      e->pix_fmt = f.plain;
      e->color_range = AVCOL_RANGE_JPEG;
      break;
    }
  }
  e->time_base = kPictureTimeBase;
  e->framerate = kFrameRate;
  e->level = kFfv1Version;
  e->gop_size = 1;
  e->thread_count = workers > 1 ? 1 : kLoneWorkerEncoderThreads;
  e->thread_type = FF_THREAD_SLICE;
  e->slices = kFfv1Slices;
  e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  return avcodec_open2(e, codec, nullptr) == 0;
}

bool open_sound_encoder(MovieExportState& s) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_FLAC);
  if (codec == nullptr) return false;
  AVCodecContext* e = s.sound_encoder = avcodec_alloc_context3(codec);
  if (e == nullptr) return false;
  e->sample_fmt = AV_SAMPLE_FMT_S16;
  e->sample_rate = kSourceSampleRate;
  av_channel_layout_default(&e->ch_layout, kSoundChannels);
  e->time_base = kSoundTimeBase;
  e->frame_size = kSamplesPerFrame;  // one FLAC frame per movie frame
  e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  return avcodec_open2(e, codec, nullptr) == 0;
}

// Frames of the run: the decoded picture kept for storing, the blank picture (black in the
// encoder's format and range) and one movie frame's sound.
bool allocate_frames(MovieExportState& s) {
  const AVCodecContext* e = s.picture_encoder;
  if ((s.shown = av_frame_alloc()) == nullptr || (s.blank = av_frame_alloc()) == nullptr ||
      (s.sound = av_frame_alloc()) == nullptr || (s.coded = av_packet_alloc()) == nullptr) {
    return false;
  }
  s.blank->format = e->pix_fmt;
  s.blank->width = e->width;
  s.blank->height = e->height;
  s.blank->color_range = e->color_range;
  if (av_frame_get_buffer(s.blank, 0) < 0) return false;
  std::array<ptrdiff_t, 4> lines{};
  for (std::size_t p = 0; p < lines.size(); ++p) lines[p] = s.blank->linesize[p];
  if (av_image_fill_black(s.blank->data, lines.data(), e->pix_fmt, e->color_range, e->width,
                          e->height) < 0) {
    return false;
  }
  s.sound->format = AV_SAMPLE_FMT_S16;
  s.sound->sample_rate = kSourceSampleRate;
  s.sound->nb_samples = kSamplesPerFrame;
  av_channel_layout_default(&s.sound->ch_layout, kSoundChannels);
  return av_frame_get_buffer(s.sound, 0) >= 0;
}

// The muxer writes through the tool's output file, which notes any failed write.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
using IoBytes = const uint8_t*;
#else
using IoBytes = uint8_t*;
#endif

int write_output(void* opaque, IoBytes bytes, int n) {
  OutputFile& out = *static_cast<OutputFile*>(opaque);
  put_bytes(out, bytes, static_cast<std::size_t>(n));
  return std::ferror(out.pending.file) != 0 ? AVERROR(EIO) : n;
}

int64_t seek_output(void* opaque, int64_t offset, int whence) {
  OutputFile& out = *static_cast<OutputFile*>(opaque);
  whence &= ~AVSEEK_FORCE;
  if (whence == AVSEEK_SIZE) return AVERROR(ENOSYS);
  if (!seek_file(out.pending.file, offset, whence)) return AVERROR(errno);
  return file_position(out.pending.file);
}

bool add_stream(AVFormatContext* muxer, const AVCodecContext* encoder) {
  AVStream* st = avformat_new_stream(muxer, nullptr);
  if (st == nullptr || avcodec_parameters_from_context(st->codecpar, encoder) < 0) return false;
  st->time_base = encoder->time_base;
  if (encoder->codec_type == AVMEDIA_TYPE_VIDEO) st->avg_frame_rate = kFrameRate;
  return true;
}

bool open_movie_file(MovieExportState& s, OutputFile& out) {
  auto* buffer = static_cast<uint8_t*>(av_malloc(kMuxIoBufferBytes));
  if (buffer == nullptr) return false;
  s.io = avio_alloc_context(buffer, kMuxIoBufferBytes, 1, &out, nullptr, write_output, seek_output);
  if (s.io == nullptr) {
    av_free(buffer);
    return false;
  }
  if (avformat_alloc_output_context2(&s.muxer, nullptr, "matroska", nullptr) < 0) return false;
  s.muxer->pb = s.io;
  // No random ids or version strings: the same movie gives the same bytes on every run.
  s.muxer->flags |= AVFMT_FLAG_BITEXACT;
  return open_sound_encoder(s) && add_stream(s.muxer, s.picture_encoder) &&
         add_stream(s.muxer, s.sound_encoder) && avformat_write_header(s.muxer, nullptr) >= 0;
}

void close_movie_file(MovieExportState& s) {
  avcodec_free_context(&s.sound_encoder);
  avformat_free_context(s.muxer);
  s.muxer = nullptr;
  if (s.io != nullptr) av_freep(&s.io->buffer);
  avio_context_free(&s.io);
}

// Sends a frame (null: the end of the movie) and writes every packet the encoder gives back.
bool encode_into_file(MovieExportState& s, AVCodecContext* encoder, const AVFrame* frame,
                      int stream, int64_t frame_duration) {
  if (avcodec_send_frame(encoder, frame) < 0) return false;
  for (;;) {
    const int got = avcodec_receive_packet(encoder, s.coded);
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return s.io->error == 0;
    if (got < 0) return false;
    if (s.coded->duration == 0 && s.coded->size > 0) s.coded->duration = frame_duration;
    s.coded->stream_index = stream;
    av_packet_rescale_ts(s.coded, encoder->time_base, s.muxer->streams[stream]->time_base);
    const int written = av_write_frame(s.muxer, s.coded);
    av_packet_unref(s.coded);
    if (written < 0) return false;
  }
}

// Picture k and the sound of movie frame k, both at k/15 s. A picture that does not decode
// stores the movie's last picture again, so every frame keeps its picture and its time; it is
// counted in `undecoded`.
bool export_frame(MovieExportState& s, const SourceFrame& frame, uint32_t k, uint32_t& undecoded) {
  if (decode_frame_picture(s.decoder, frame)) {
    av_frame_unref(s.shown);
    av_frame_move_ref(s.shown, s.decoder.picture);
  } else {
    ++undecoded;
  }
  AVFrame* picture = s.shown->buf[0] != nullptr ? s.shown : s.blank;
  picture->format = s.picture_encoder->pix_fmt;  // the same bytes (see kFullRangeFormats)
  picture->color_range = s.picture_encoder->color_range;
  picture->pict_type = AV_PICTURE_TYPE_NONE;
  picture->pts = k;
  if (!encode_into_file(s, s.picture_encoder, picture, kPictureStream, 1)) return false;

  decode_frame_audio(s.audio, frame);
  if (av_frame_make_writable(s.sound) < 0) return false;
  std::memcpy(s.sound->data[0], s.audio.samples.data(), s.audio.samples.size());
  s.sound->pts = int64_t{k} * kSamplesPerFrame;
  return encode_into_file(s, s.sound_encoder, s.sound, kSoundStream, kSamplesPerFrame);
}

}  // namespace

void start_export_run(MovieExportState& s, const ExtractorRun& run) {
  av_log_set_level(AV_LOG_FATAL);  // a damaged picture is not reported line by line
  s.ready =
      open_picture_decoder(s.decoder) && open_picture_encoder(s, run.workers) && allocate_frames(s);
  // The workers' states are started one after another, before any movie: said once.
  static bool said = false;
  if (!s.ready && !said) std::printf("cannot open FFmpeg's picture decoder and encoders\n");
  said = said || !s.ready;
}

void end_export_run(MovieExportState& s) {
  close_picture_decoder(s.decoder);
  avcodec_free_context(&s.picture_encoder);
  av_frame_free(&s.shown);
  av_frame_free(&s.blank);
  av_frame_free(&s.sound);
  av_packet_free(&s.coded);
}

void export_movie(MovieJob& job, MovieExportState& s) {
  const uint32_t frames = job.frames;
  if (frames == 0) {
    // A Matroska file without a single block does not read back: there is nothing to export.
    console_printf(*job.console, "movie %d%02d has no frames: no file written\n", job.run->disc,
                   job.id);
    return;
  }
  char name[kOutputNameBytes];
  format_movie_name(job, "kv9_", ".mkv", name);
  if (!s.ready || !open_output(job.output, name)) {
    pass_over_movie(job, name);
    return;
  }
  start_movie(job, name);
  reset_history(s.audio.history);
  av_frame_unref(s.shown);

  bool ok = open_movie_file(s, job.output);
  uint32_t undecoded = 0;
  for (uint32_t k = 0; k < frames; ++k) {
    read_next_frame(job);
    // After a failed write the frames are still read: the movie keeps its place in the range.
    if (ok) ok = export_frame(s, job.frame, k, undecoded);
  }
  ok = ok && encode_into_file(s, s.sound_encoder, nullptr, kSoundStream, 0) &&
       av_write_trailer(s.muxer) >= 0;
  close_movie_file(s);
  console_printf(*job.console, "\ndone. (%d frame)\n", static_cast<int>(frames));
  if (undecoded > 0) {
    console_printf(*job.console,
                   "movie %d%02d: %u of %u pictures did not decode (each shows the picture "
                   "before it)\n",
                   job.run->disc, job.id, undecoded, frames);
    job.outcome->failed = true;
  }
  finish_movie_output(job, ok);
}

}  // namespace kv9
