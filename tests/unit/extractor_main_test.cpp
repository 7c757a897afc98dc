#include "common/extractor_main.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "support/differential.h"
#include "support/temp_dir.h"
#include "vidcopy/video_only_stream.h"
#include "vidscan/scan_image.h"

namespace kv9 {
namespace {

namespace fs = std::filesystem;

// Images with a stretch that cannot be read: this process's own memory seen through
// /proc/self/mem, mapped at a fixed address below 4 GiB, with the page from SMJ sector 2 of the
// first movie's second frame on unmapped, so that reading it fails with an I/O error. Byte 0 of
// /proc/self/mem cannot be read, so each image is opened as a plain file and then handed this
// memory in its place. A read error is reported once, where the image's end would be, also when
// it was met passing over a movie; the bytes from the failure on read as 0xFF; the run fails.
constexpr uint64_t kImageAt = 0x20000000;
constexpr std::size_t kMapped = (std::size_t{1} << 20) + 4 * kFrameBytes;
constexpr std::size_t kHole = kFrameBytes + 2 * 4096;

class ReadError : public testing::Test {
 protected:
  void SetUp() override {
    bytes_ = static_cast<uint8_t*>(
        ::mmap(reinterpret_cast<void*>(kImageAt), kMapped, PROT_READ | PROT_WRITE,
               MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0));
    if (bytes_ != reinterpret_cast<uint8_t*>(kImageAt)) GTEST_SKIP() << "address range in use";
    for (std::size_t i = 0; i < kMapped; ++i) bytes_[i] = static_cast<uint8_t>(i % 251);
    std::string headers(2 * kFrameBytes, '\0');  // a movie of two frames, for the scan to find
    for (uint8_t f = 0; f < 2; ++f) test::put_frame_headers(headers, f * kFrameBytes, 10, f);
    for (std::size_t at = 0; at < headers.size(); at += kSectorSize)
      std::memcpy(bytes_ + at, headers.data() + at, kSectorHeaderBytes);
    ASSERT_EQ(::munmap(bytes_ + kHole, 4096), 0);
    cwd_ = fs::current_path();
    fs::current_path(dir_.path());
    test::write_file("kv9disc1.img", "");
  }
  void TearDown() override {
    if (bytes_ != reinterpret_cast<uint8_t*>(kImageAt)) return;
    fs::current_path(cwd_);
    ::munmap(bytes_, kHole);
    ::munmap(bytes_ + kHole + 4096, kMapped - kHole - 4096);
  }
  // The image opened as a plain file, then reading this process's memory from kImageAt on.
  static void read_memory(DiscImage& image) {
    ::close(static_cast<int>(image.file.handle));
    image.file.handle = ::open("/proc/self/mem", O_RDONLY);
    image.track_at = kImageAt;
    image.track_bytes = UINT64_MAX;
  }

  uint8_t* bytes_ = nullptr;
  test::TempDir dir_;
  fs::path cwd_;
};

// Movies 0 and 1 back to back; or movie 0 passed over (its output a folder) and long enough for
// movie 1 to lie in the next megabyte, a reading block of its own that reads well.
TEST_F(ReadError, EndsTheImageForTheMoviesAfterIt) {
  for (const bool passed_over : {false, true}) {
    SCOPED_TRACE(passed_over);
    test::write_file("kv9cdadr.ini", passed_over ? "[kv9disc1.img]\nid=0, address=0x0, frame=0x34\n"
                                                   "id=1, address=0x104000, frame=0x2\n"
                                                 : "[kv9disc1.img]\nid=0, address=0x0, frame=0x2\n"
                                                   "id=1, address=0xA000, frame=0x2\n");
    if (passed_over) fs::create_directory("kv9_100.str");
    auto run = std::make_unique<ExtractorRun>();
    auto state = std::make_unique<VideoOnlyState>();
    init_video_only(*state);
    const char* argv[] = {"vidcopy", "kv9disc1.img", "0-1"};
    int status = 0;
    const std::string console = test::console_of([&] {
      ASSERT_EQ(prepare_extractor_run(*run, {"vidcopy", "", ""}, 3, const_cast<char**>(argv)),
                kRunGoesOn);
      ASSERT_TRUE(open_extractor_image(*run));
      read_memory(run->image);
      status =
          convert_movies(*run, [&](MovieJob& job, int) { convert_movie_video_only(job, *state); });
    });
    EXPECT_EQ(status, kExitFailure);
    EXPECT_TRUE(console.ends_with(
        std::string(passed_over ? "cannot open file kv9_100.str\n" : "\ndone. (2 frame)\n") +
        "cannot read file kv9disc1.img\nimage kv9disc1.img ends "
        "before movie 101 starts: no file written\n"))
        << console;
    EXPECT_FALSE(fs::exists("kv9_101.str"));
    if (passed_over) continue;
    // The movie's bytes, then 0xFF from the failure on: chunk 3 of the second frame lies past it.
    const auto* image = reinterpret_cast<const char*>(kImageAt);
    const std::string out = test::read_file("kv9_100.str");
    EXPECT_EQ(out.size(), 44u + 2 * 8 * 2352);
    EXPECT_TRUE(out.substr(44 + 56, 2016) == std::string(image + 4104, 2016));
    EXPECT_TRUE(out.substr(44 + 11 * 2352 + 56, 2016) == std::string(2016, '\xFF'));
    fs::remove("kv9_100.str");
  }
}

// The scan ends at the read error as at the end of the image, says so, and fails.
TEST_F(ReadError, EndsTheScan) {
  static DiscImage image;
  static ImageStream stream;
  static MovieTables tables;
  ScanState state;
  ScanOutcome outcome = ScanOutcome::kScanned;
  char refusal[kRefusalBytes];
  ASSERT_TRUE(open_disc_image(image, "kv9disc1.img", refusal));
  read_memory(image);
  const std::string console = test::console_of(
      [&] { outcome = scan_opened_image(state, tables, 1, "kv9disc1.img", image, stream); });
  EXPECT_EQ(outcome, ScanOutcome::kReadError);
  EXPECT_TRUE(
      console.ends_with(" Found! ID=0: 0x00000000, 0x2 frame\ncannot read file "
                        "kv9disc1.img\n"))
      << console;
}

}  // namespace
}  // namespace kv9
