// The main sequence shared by the extractors: arguments, address file, image name, movie range,
// the tool's run-start step, the image opened once; then the tool's per-movie operation for every
// id of the range, on one worker or several side by side. Each movie is read from where the
// movies before it end, as if the range were read front to back; its output is written beside
// its final name and put in place, and its console printed, in the order of the range.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "common/command_line.h"
#include "common/disc_image.h"
#include "common/frame_reader.h"
#include "common/image_stream.h"
#include "common/movie_console.h"
#include "common/movie_table.h"
#include "common/output_file.h"
#include "common/progress_meter.h"

namespace kv9 {

// What the run shares, read-only once the movies start.
struct ExtractorRun {
  MovieTables tables;
  int disc = 0;
  MovieRange range;
  const char* image_path = nullptr;
  DiscImage image;
  int workers = 1;  // movies converted side by side
};

// What became of one movie, kept for its turn to end it.
struct MovieOutcome {
  int32_t id = 0;
  uint32_t frames = 0;
  bool no_file = false;       // it starts at or past the image's end: nothing was written
  bool has_output = false;    // an output was written, to be put in place or dropped
  bool write_failed = false;  // a write of it failed
  bool image_ended = false;   // the movie read past what the image gave: its end or a read error
  bool read_failed = false;   // a read error ended the image within the movie
  bool failed = false;        // it failed in a way already said (status 1)
  std::array<char, kOutputNameBytes> name{};
  PendingFile output;
};

struct Turns;
struct MovieSlot;

// A worker's own, reused from movie to movie: its stream of the image, the frame at hand, the
// output it writes, and the movie it converts.
struct MovieJob {
  const ExtractorRun* run = nullptr;
  ImageStream* image = nullptr;
  ProgressMeter progress;
  SourceFrame frame;
  OutputFile output;
  int32_t id = 0;
  uint32_t frames = 0;  // the movie's frame count
  MovieConsole* console = nullptr;
  MovieOutcome* outcome = nullptr;
  // The range's turns and the movie's place among them. A movie converted ahead is dropped when
  // the disk fills up (its output is removed at once and it is converted again in its turn).
  Turns* turns = nullptr;
  MovieSlot* slot = nullptr;
  const std::atomic<bool>* dropped = nullptr;
};

// What a tool adds to the frame: its name, usage line and help, its per-movie operation over
// the tool's own state (buffers and histories, one per worker), and optional steps before the
// first movie and after the last.
template <class State>
struct ExtractorTool {
  ToolText text;                                             // name, usage line and help
  void (*run_start)(State& state, const ExtractorRun& run);  // may be null
  void (*convert_movie)(MovieJob& job, State& state);
  void (*run_end)(State& state);  // may be null
};

// The steps before the tool's run-start step. Returns the exit status when the run ends there
// (usage, help, version, an address file that cannot be read), or kRunGoesOn.
inline constexpr int kRunGoesOn = -1;
int prepare_extractor_run(ExtractorRun& run, const ToolText& tool, int argc, char** argv);

// Opens the image; reports an image that cannot be opened. A pipe is read by one worker.
bool open_extractor_image(ExtractorRun& run);

// Converts every movie of the range, worker w calling convert(job, w); closes the image.
// Returns the run's exit status.
int convert_movies(ExtractorRun& run,
                   const std::function<void(MovieJob& job, int worker)>& convert);

// Runs the whole sequence and returns the process exit status.
template <class State>
int run_extractor(ExtractorRun& run, const ExtractorTool<State>& tool, int argc, char** argv) {
  const int status = prepare_extractor_run(run, tool.text, argc, argv);
  if (status != kRunGoesOn) return status;
  std::vector<std::unique_ptr<State>> states;
  const auto add_state = [&] {
    states.push_back(std::make_unique<State>());
    if (tool.run_start != nullptr) tool.run_start(*states.back(), run);
  };
  add_state();  // before the image is opened, as a run with one worker has it
  int result = kExitFailure;
  if (open_extractor_image(run)) {
    while (states.size() < static_cast<std::size_t>(run.workers)) add_state();
    result =
        convert_movies(run, [&](MovieJob& job, int w) { tool.convert_movie(job, *states[w]); });
  }
  if (tool.run_end != nullptr) {
    for (auto& s : states) tool.run_end(*s);
  }
  return result;
}

// --- Steps of a per-movie operation ------------------------------------------------------------

// The output name of the job's movie: `prefix`, the movie number ("%d%02d" of disc and id),
// `extension`.
void format_movie_name(const MovieJob& job, const char* prefix, const char* extension,
                       char (&name)[kOutputNameBytes]);

// A movie whose output cannot be created: prints "cannot open file %s\n" and passes over the
// movie's frames, so that a read error among them is found as reading them would find it.
void pass_over_movie(MovieJob& job, const char* name);

// Creates the movie's output `name`. A FIFO or a device is opened only in the movie's turn,
// once the movies before it have been written. False when it cannot be created.
bool open_movie_output(MovieJob& job, const char* name);

// A movie whose output is open: prints "open file \"%s\". writing...\n" and starts the
// progress meter for the movie.
void start_movie(MovieJob& job, const char* name);

// Creates the movie's output `prefix` + movie number + `extension` and starts the movie, or
// passes over it when the output cannot be created. True when the movie is to be written.
bool begin_movie_output(MovieJob& job, const char* prefix, const char* extension);

// After the tool's completion lines: says how many of the movie's sectors failed their check,
// if any; closes the output, which is put in place (or dropped) at the movie's turn. `written`
// false: the tool itself failed to write part of it.
void finish_movie_output(MovieJob& job, bool written = true);

// A movie that was dropped gives up its output, and the room it took on the disk, at once.
void give_up_output(MovieJob& job);

// The movie's frames, one by one, into job.frame.
inline void read_next_frame(MovieJob& job) {
  if (job.dropped->load(std::memory_order_relaxed)) give_up_output(job);
  read_movie_frame(*job.image, job.progress, job.frame);
}

}  // namespace kv9
