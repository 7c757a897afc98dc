#include "common/extractor_main.h"

#include <algorithm>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/processor_count.h"

namespace kv9 {
namespace {

inline constexpr int kMaxWorkers = 64;
inline constexpr int kTurnsAheadPerWorker = 2;  // movies converted ahead of the head, per worker
inline constexpr const char* kWorkersVariable = "KV9_JOBS";
inline constexpr const char* kWorkersHelp =
    "The movies of a range are converted side by side, one worker for every processor the tool\n"
    "may use; KV9_JOBS=N in the environment sets the number of workers (KV9_JOBS=1: one movie\n"
    "after another). The files and the console are the same either way.";

// Workers to convert the range side by side: KV9_JOBS when it holds a number from 1 on, else the
// processors the process may use; never more than the range has movies.
int plan_workers(const MovieRange& range) {
  int workers = usable_processors();
  if (const char* asked = std::getenv(kWorkersVariable); asked != nullptr) {
    char* end = nullptr;
    const long n = std::strtol(asked, &end, 10);
    if (end != asked && *end == '\0' && n >= 1)
      workers = static_cast<int>(std::min<long>(n, kMaxWorkers));
  }
  return std::clamp(workers, 1, std::min(kMaxWorkers, range.last_id - range.first_id + 1));
}

// Where a movie of the range is read: the first movie's address plus the frames of the movies
// before it, since the movies of a range are read back to back.
uint64_t read_position(const ExtractorRun& run, int32_t id) {
  uint64_t at = run.tables.movie_address[run.disc][run.range.first_id];
  for (int32_t i = run.range.first_id; i < id; ++i) {
    at += uint64_t{run.tables.movie_frames[run.disc][i]} * kFrameBytes;
  }
  return at;
}

// A movie other than the first whose table address is not where the previous movie ends: it is
// still read from there, and the run says so. Writes the line and returns true then.
bool not_back_to_back(const ExtractorRun& run, int32_t id, char (&line)[256]) {
  const uint32_t address = run.tables.movie_address[run.disc][id];
  const uint64_t read_from = read_position(run, id);
  if (id == run.range.first_id || read_from == address) return false;
  std::snprintf(line, sizeof line,
                "movie %d%02d does not start where movie %d%02d ends: read from 0x%08llX, not "
                "from its address 0x%08X\n",
                run.disc, id, run.disc, id - 1, static_cast<unsigned long long>(read_from),
                address);
  return true;
}

// A line of the run's own, when no movie's console is printing.
[[gnu::format(printf, 1, 2)]] void say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

}  // namespace

// The movies of the range taking their turns: converted by any worker, ended one after another
// in the order of the range. Guarded by the turns' lock.
struct MovieSlot {
  MovieConsole console;
  MovieOutcome outcome;
  bool busy = false;                 // a worker is converting the movie in it
  bool done = false;                 // converted, waiting for its turn to end
  bool holds_output = false;         // its output is on the disk, or about to be
  std::atomic<bool> dropped{false};  // its result is dropped: the movie is converted again
};

struct Turns {
  std::mutex lock;
  std::condition_variable room;  // a slot came free, a turn came, an output was given up
  int32_t next_id = 0;           // the next movie a worker takes
  int32_t head_id = 0;           // the next movie to end; all before it have ended
  int32_t ahead = 0;             // movies in progress at once, the head's included
  bool one_worker = false;       // the disk filled up: one movie after another from then on
  std::vector<std::unique_ptr<MovieSlot>> slots;
  // The range as read front to back: a read error ends the image for every later movie.
  bool read_error_met = false;
  bool read_error_reported = false;
  int status = kExitOk;

  MovieSlot& slot(int32_t id) { return *slots[static_cast<std::size_t>(id) % slots.size()]; }
};

namespace {

void report_read_error(const ExtractorRun& run, Turns& t) {
  if (!t.read_error_reported) say("cannot read file %s\n", run.image_path);
  t.read_error_reported = true;
  t.status = kExitFailure;
}

// A movie read after a read error finds no image left: it has no frames to give.
bool image_gone_before(const ExtractorRun& run, const Turns& t, int32_t id) {
  return t.read_error_met && run.tables.movie_frames[run.disc][id] > 0;
}

// The movie's turn to end: its output put in place or dropped, and what went wrong said.
void end_movie_turn(const ExtractorRun& run, Turns& t, MovieOutcome& o) {
  if (o.failed) t.status = kExitFailure;
  const bool gone = image_gone_before(run, t, o.id);
  if (gone || o.no_file) {
    if (o.has_output) discard_pending_file(o.output);
    if (gone) {
      // Its console was muted at its turn: everything it says is said here.
      char line[256];
      if (not_back_to_back(run, o.id, line)) say("%s", line);
      report_read_error(run, t);
    } else if (o.read_failed) {
      t.read_error_met = true;
      report_read_error(run, t);
    }
    say("image %s ends before movie %d%02d starts: no file written\n", run.image_path, run.disc,
        o.id);
    t.status = kExitFailure;
    return;
  }
  if (!o.has_output) {
    // Passed over: a read error met on the way is said with the next movie that needs the image.
    t.read_error_met = t.read_error_met || o.read_failed;
    return;
  }
  // A movie the image cuts short never replaces an earlier file of its name.
  const bool keep_earlier = o.image_ended && !o.output.direct && target_exists(o.output);
  bool written = !o.write_failed;
  if (written && !keep_earlier) written = commit_pending_file(o.output);
  if (!written || keep_earlier) discard_pending_file(o.output);
  if (!written) {
    say("cannot write file %s\n", o.name.data());
    t.status = kExitFailure;
  }
  if (!o.image_ended) return;
  t.status = kExitFailure;
  if (o.read_failed) {
    t.read_error_met = true;
    report_read_error(run, t);
  } else if (!keep_earlier) {
    say("image %s ends before movie %d%02d ends\n", run.image_path, run.disc, o.id);
  }
  if (keep_earlier) {
    say("image %s ends before movie %d%02d ends: the earlier %s is kept\n", run.image_path,
        run.disc, o.id, o.name.data());
  }
}

// One movie on a worker: positioned where the range has it, then converted by the tool.
void run_movie(MovieJob& job, const std::function<void(MovieJob&, int)>& convert, int worker) {
  const ExtractorRun& run = *job.run;
  MovieOutcome& o = *job.outcome;
  char line[256];
  if (not_back_to_back(run, job.id, line)) {
    console_puts(*job.console, line);
    o.failed = true;
  }
  const uint64_t at = read_position(run, job.id);
  position_image(*job.image, run.tables.movie_address[run.disc][run.range.first_id], at);
  watch_damage(*job.image, at, at + uint64_t{job.frames} * kFrameBytes);
  if (job.frames > 0 && image_at_end(*job.image)) {
    o.no_file = true;
    o.read_failed = job.image->read_failed;
    return;
  }
  convert(job, worker);
}

// The disk filled up while movies were converted ahead of the head: their outputs held some of
// it. From now on the movies are converted one after another, as one worker converts them; those
// ahead are dropped (their outputs removed, their consoles muted) and converted again in their
// turn. Under the lock.
void fall_back_to_one_worker(Turns& t) {
  if (t.one_worker) return;
  t.one_worker = true;
  t.ahead = 1;
  for (int32_t id = t.head_id + 1; id < t.next_id; ++id) {
    MovieSlot& slot = t.slot(id);
    slot.dropped = true;
    give_turn(slot.console, true);
    if (slot.done) {
      // Converted and waiting for its turn: its output is nobody's now.
      if (slot.outcome.has_output) discard_pending_file(slot.outcome.output);
      slot.holds_output = slot.done = false;
    }
  }
  t.next_id = t.head_id + 1;
  t.room.notify_all();
}

// A write of the job's output found the disk full. For the movie at the head, every movie ahead
// gives up its output first, and the write is worth trying again; a movie ahead is dropped.
bool make_room(void* context) {
  MovieJob& job = *static_cast<MovieJob*>(context);
  Turns& t = *job.turns;
  std::unique_lock<std::mutex> hold(t.lock);
  fall_back_to_one_worker(t);
  if (job.id != t.head_id) return false;
  t.room.wait(hold, [&] {
    for (int32_t id = t.head_id + 1; id < t.head_id + static_cast<int32_t>(t.slots.size()); ++id) {
      if (t.slot(id).holds_output) return false;
    }
    return true;
  });
  return true;
}

// A worker: takes the next movie of the range while there is room ahead of the head, converts
// it, and ends every movie whose turn has come.
void work(const ExtractorRun& run, Turns& t, MovieJob& job,
          const std::function<void(MovieJob&, int)>& convert, int worker) {
  std::unique_lock<std::mutex> hold(t.lock);
  const int32_t last = run.range.last_id;
  for (;;) {
    t.room.wait(hold, [&] {
      return t.next_id > last || (t.next_id - t.head_id < t.ahead && !t.slot(t.next_id).busy);
    });
    if (t.next_id > last) return;
    const int32_t id = t.next_id++;
    MovieSlot& slot = t.slot(id);
    slot.busy = true;
    slot.done = slot.holds_output = slot.dropped = false;
    slot.outcome = MovieOutcome{};
    slot.outcome.id = job.id = id;
    slot.outcome.frames = job.frames = run.tables.movie_frames[run.disc][id];
    // A movie whose turn has come when it is taken is known to find the image or not.
    const bool gone = id == t.head_id && image_gone_before(run, t, id);
    start_console(slot.console, id != t.head_id ? ConsoleMode::kHeld
                                : gone          ? ConsoleMode::kMuted
                                                : ConsoleMode::kLive);
    job.console = &slot.console;
    job.outcome = &slot.outcome;
    job.slot = &slot;
    job.dropped = &slot.dropped;
    hold.unlock();
    if (!gone) run_movie(job, convert, worker);
    hold.lock();
    slot.busy = false;
    if (slot.dropped) {
      if (slot.outcome.has_output) discard_pending_file(slot.outcome.output);
      slot.holds_output = false;
      t.room.notify_all();
      continue;
    }
    slot.done = true;
    while (t.head_id < t.next_id && t.slot(t.head_id).done) {
      MovieSlot& head = t.slot(t.head_id);
      end_movie_turn(run, t, head.outcome);
      head.done = head.holds_output = false;
      ++t.head_id;
      if (t.head_id < t.next_id) {
        give_turn(t.slot(t.head_id).console, image_gone_before(run, t, t.head_id));
      }
    }
    t.room.notify_all();
  }
}

}  // namespace

int prepare_extractor_run(ExtractorRun& run, const ToolText& tool, int argc, char** argv) {
  if (argc < 2) {
    refuse_arguments(tool, "no disc image given");
    return kExitUsage;
  }
  if (handle_info_option(argv[1], tool, kWorkersHelp)) return kExitOk;
  install_interrupt_cleanup();

  set_builtin_tables(run.tables);
  if (load_address_file(run.tables) == AddressFileLoad::kUnreadable) {
    // Extracting with tables other than the ones the user keeps would write the wrong movies.
    std::printf("cannot read file %s\n", kAddressFileName);
    return kExitFailure;
  }

  int next = 0;
  if (!take_image_arguments(tool, argc, argv, run.image_path, run.disc, next)) return kExitUsage;
  run.range = full_movie_range(run.disc);
  if (argc > next && !take_range_argument(tool, argv[next], run.disc, run.range)) {
    return kExitUsage;
  }
  if (argc > next + 1) say_ignored_arguments(tool, "range", argc - next - 1, argv + next + 1);
  run.workers = plan_workers(run.range);
  return kRunGoesOn;
}

bool open_extractor_image(ExtractorRun& run) {
  char refusal[kRefusalBytes];
  if (!open_disc_image(run.image, run.image_path, refusal)) {
    std::printf("%s\n", refusal);
    return false;
  }
  // A pipe is read front to back, once.
  if (!run.image.file.seekable) run.workers = 1;
  return true;
}

int convert_movies(ExtractorRun& run, const std::function<void(MovieJob&, int)>& convert) {
  Turns t;
  t.next_id = t.head_id = run.range.first_id;
  t.ahead = kTurnsAheadPerWorker * run.workers;
  for (int i = 0; i < t.ahead; ++i) t.slots.push_back(std::make_unique<MovieSlot>());
  std::vector<std::unique_ptr<ImageStream>> streams;
  std::vector<std::unique_ptr<MovieJob>> jobs;
  for (int w = 0; w < run.workers; ++w) {
    streams.push_back(std::make_unique<ImageStream>());
    start_image_stream(*streams.back(), run.image);
    jobs.push_back(std::make_unique<MovieJob>());
    jobs.back()->run = &run;
    jobs.back()->image = streams.back().get();
    jobs.back()->turns = &t;
  }
  std::vector<std::thread> others;
  for (int w = 1; w < run.workers; ++w) {
    others.emplace_back([&, w] { work(run, t, *jobs[w], convert, w); });
  }
  work(run, t, *jobs[0], convert, 0);
  for (std::thread& th : others) th.join();
  // A read error met only while passing over the last movies has not been said yet.
  if (t.read_error_met) report_read_error(run, t);
  close_disc_image(run.image);
  std::fflush(stdout);
  return t.status;
}

void format_movie_name(const MovieJob& job, const char* prefix, const char* extension,
                       char (&name)[kOutputNameBytes]) {
  std::snprintf(name, sizeof name, "%s%d%02d%s", prefix, job.run->disc, job.id, extension);
}

void pass_over_movie(MovieJob& job, const char* name) {
  console_printf(*job.console, "cannot open file %s\n", name);
  skip_movie(*job.image, job.frames);
  job.outcome->failed = true;
  job.outcome->read_failed = job.image->ended && job.image->read_failed;
}

bool open_movie_output(MovieJob& job, const char* name) {
  Turns& t = *job.turns;
  MovieSlot& slot = *job.slot;
  {
    std::unique_lock<std::mutex> hold(t.lock);
    // What reads a FIFO or a device sees every byte at once: the movies before it come first.
    if (names_a_stream(name)) {
      t.room.wait(hold, [&] { return t.head_id == job.id || slot.dropped; });
    }
    if (slot.dropped) return false;
    slot.holds_output = true;
  }
  job.output.room = {make_room, &job};
  if (open_output(job.output, name)) return true;
  const std::lock_guard<std::mutex> hold(t.lock);
  slot.holds_output = false;
  t.room.notify_all();
  return false;
}

void give_up_output(MovieJob& job) {
  Turns& t = *job.turns;
  {
    const std::lock_guard<std::mutex> hold(t.lock);
    if (!job.slot->holds_output) return;
  }
  drop_output(job.output);
  const std::lock_guard<std::mutex> hold(t.lock);
  job.slot->holds_output = false;
  t.room.notify_all();
}

void start_movie(MovieJob& job, const char* name) {
  console_printf(*job.console, "open file \"%s\". writing...\n", name);
  reset_progress(job.progress, job.frames, *job.console);
}

bool begin_movie_output(MovieJob& job, const char* prefix, const char* extension) {
  char name[kOutputNameBytes];
  format_movie_name(job, prefix, extension, name);
  if (!open_movie_output(job, name)) {
    pass_over_movie(job, name);
    return false;
  }
  start_movie(job, name);
  return true;
}

void finish_movie_output(MovieJob& job, bool written) {
  MovieOutcome& o = *job.outcome;
  const SectorDamage& damage = job.image->damage;
  if (damage.failed > 0) {
    console_printf(*job.console,
                   "movie %d%02d: %llu sectors fail their check, the first at sector %llu (the "
                   "image is damaged there)\n",
                   job.run->disc, job.id, static_cast<unsigned long long>(damage.failed),
                   static_cast<unsigned long long>(damage.first_failed));
    o.failed = true;
  }
  o.write_failed = !close_output(job.output) || !written;
  o.has_output = true;
  o.name = job.output.name;
  o.output = job.output.pending;
  job.output.pending = PendingFile{};
  // `ended`: the movie read past what the image gave, its end or the place of a read error.
  o.image_ended = job.frames > 0 && job.image->ended;
  o.read_failed = o.image_ended && job.image->read_failed;
}

}  // namespace kv9
