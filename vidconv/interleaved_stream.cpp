#include "vidconv/interleaved_stream.h"

#include <cstdio>
#include <cstring>

namespace kv9 {
namespace {

static_assert(kCycleFrames * kSectorsPerFrameSlot == kCycleAudioSectors * kAudioSectorEvery);

// Stores the frame's left and right blocks as block pairs in the phase's part of the buffer.
void store_frame_audio(InterleavedState& state, const SourceFrame& frame, uint32_t phase) {
  uint8_t* dst = state.audio.data() + kFrameBlockPairBytes * phase;
  const uint8_t* left = audio_payload(frame, 0);
  const uint8_t* right = audio_payload(frame, 1);
  for (std::size_t p = 0; p < kBlocksPerFrame; ++p) {
    std::memcpy(dst + kBlockPairBytes * p, left + kBlockBytes * p, kBlockBytes);
    std::memcpy(dst + kBlockPairBytes * p + kBlockBytes, right + kBlockBytes * p, kBlockBytes);
  }
}

// Encodes block-pair region `a` in place and writes it as an audio sector.
void emit_audio_sector(OutputFile& out, InterleavedState& state, std::size_t a) {
  uint8_t* region = state.audio.data() + kRegionBytes * a;
  encode_sector_audio(state.codec, region);
  write_audio_sector(out, region);
}

// After video or zero sector m of a frame of this phase: the audio sector due there, if any.
void emit_audio_if_due(OutputFile& out, InterleavedState& state, uint32_t phase, uint8_t m) {
  for (const AudioPoint& point : kAudioPoints) {
    if (point.phase == phase && point.after == m) emit_audio_sector(out, state, point.region);
  }
}

}  // namespace

void start_interleaved_run(InterleavedState& state, const ExtractorRun&) {
  init_video_sector(state.video, kInterleavedVideoSubheader, kFullFrameSectors);
  state.staging.fill(0);
  state.audio.fill(0);
}

void convert_movie_interleaved(MovieJob& job, InterleavedState& state) {
  const uint32_t frames = job.frames;
  if (!begin_movie_output(job, "kv9x", ".str")) return;
  reset_audio_codec(state.codec);

  write_stream_header(job.output);
  uint32_t phase = 0;
  for (uint32_t l = 0; l < frames; ++l) {
    if (phase == 0) state.audio.fill(0);
    const uint8_t sectors = video_sectors_in_phase(phase);
    read_next_frame(job);
    store_frame_audio(state, job.frame, phase);
    gather_frame_video(job.frame, state.staging.data());
    set_frame_fields(state.video, l + 1, sectors, state.staging.data());
    for (uint8_t m = 0; m < sectors; ++m) {
      write_video_sector(job.output, state.video, state.staging, m);
      emit_audio_if_due(job.output, state, phase, m);
    }
    phase = (phase + 1) % kCycleFrames;
  }
  if (phase != 0) {
    // The fill frame: zero sectors carrying the audio still owed, then silence.
    const uint8_t sectors = video_sectors_in_phase(phase);
    for (uint8_t m = 0; m < sectors; ++m) {
      write_zero_sector(job.output);
      emit_audio_if_due(job.output, state, phase, m);
    }
  }
  console_printf(*job.console, "\ndone. (%d frame)\n", static_cast<int>(frames));
  finish_movie_output(job);
}

}  // namespace kv9
