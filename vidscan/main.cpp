// vidscan: finds every movie in a disc image and merges their addresses into "kv9cdadr.ini".
#include "common/command_line.h"
#include "common/image_stream.h"
#include "common/movie_table.h"
#include "platform/pending_file.h"
#include "platform/program_entry.h"
#include "vidscan/address_file_update.h"
#include "vidscan/scan_image.h"

namespace kv9 {
namespace {

constexpr ToolText kTool = {
    "vidscan", "USAGE:vidscan D:kv9disc?.img\n",
    "Finds every movie in a disc image by its sector headers and merges their start addresses\n"
    "and frame counts into the address file kv9cdadr.ini in the current directory (read at\n"
    "start, written at the end; the other discs' entries are kept)."};

struct ScannerRun {
  MovieTables tables;
  ImageStream image;
  ScanState scan;
  int disc = 0;
};

ScannerRun run;

}  // namespace

int tool_main(int argc, char** argv) {
  if (argc < 2) {
    refuse_arguments(kTool, "no disc image given");
    return kExitUsage;
  }
  if (handle_info_option(argv[1], kTool)) return kExitOk;
  install_interrupt_cleanup();

  // An address file that cannot be read is left alone: rewriting it would lose its entries.
  if (!reload_address_file(run.tables)) return kExitFailure;
  const char* path = nullptr;
  int next = 0;
  if (!take_image_arguments(kTool, argc, argv, path, run.disc, next)) return kExitUsage;
  if (argc > next) say_ignored_arguments(kTool, "image", argc - next, argv + next);
  const ScanOutcome outcome = scan_image(run.scan, run.tables, run.disc, path, run.image);
  // The address file is written also when the image could not be read: it then keeps what it
  // holds, with whatever the scan found before a read error. Movies found in an image too large
  // for the file are not stored.
  const uint64_t stored = outcome == ScanOutcome::kTooLarge ? 0 : run.scan.stored_ids;
  const bool written = update_address_file(run.tables, run.disc, stored);
  const bool all_stored = !run.scan.dropped_long_movie && !run.scan.cut_movie && !run.scan.damaged;
  return (outcome == ScanOutcome::kScanned && all_stored && written) ? kExitOk : kExitFailure;
}

}  // namespace kv9
