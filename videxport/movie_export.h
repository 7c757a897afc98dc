// videxport's per-movie step: one movie to a Matroska file "kv9_%d%02d.mkv", written by
// libavformat through the tool's output file:
//   EBML header ("matroska")
//   Segment: SeekHead, Info (duration), Tracks (1: FFV1 pictures, 2: FLAC sound), Tags,
//            Clusters (movie frame k: its picture's block, then its 2940 sample pairs' block,
//            both at k/15 s), Cues
// The muxer seeks back once the movie ends to fill in sizes, the duration and the FLAC stream
// information (sample count and checksum).
#pragma once

#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "common/extractor_main.h"
#include "videxport/picture_decoder.h"
#include "vidsound/movie_audio.h"

namespace kv9 {

inline constexpr int kPictureStream = 0;
inline constexpr int kSoundStream = 1;

struct MovieExportState {
  // For the whole run.
  bool ready = false;  // the decoder, the picture encoder and the frames are open
  PictureDecoder decoder;
  AVCodecContext* picture_encoder = nullptr;  // FFV1 keeps no state from picture to picture
  AVFrame* shown = nullptr;  // the picture stored for the frame: the movie's last that decoded
  AVFrame* blank = nullptr;  // stored while none of the movie's pictures has decoded yet
  AVFrame* sound = nullptr;  // one frame's 2940 sample pairs
  AVPacket* coded = nullptr;
  MovieAudioState audio;
  // For one movie.
  AVCodecContext* sound_encoder = nullptr;  // FLAC fills in its stream information at the end
  AVFormatContext* muxer = nullptr;
  AVIOContext* io = nullptr;
};

// Opens a worker's decoder and picture encoder; prints a line (once a run) when they cannot be
// opened, and every movie is then passed over.
void start_export_run(MovieExportState& s, const ExtractorRun& run);
void end_export_run(MovieExportState& s);

// Writes the movie; a picture that does not decode shows the picture before it, and the movie's
// count of such pictures is said after its completion line.
void export_movie(MovieJob& job, MovieExportState& s);

}  // namespace kv9
