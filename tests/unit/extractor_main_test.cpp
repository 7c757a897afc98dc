#include "common/extractor_main.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "support/differential.h"
#include "support/temp_dir.h"
#include "vidcopy/video_only_stream.h"

namespace kv9 {
namespace {

namespace fs = std::filesystem;

// An image with a stretch that cannot be read: this process's own memory seen through
// /proc/self/mem, two movies of two frames mapped at a fixed address below 4 GiB, with the page
// from SMJ sector 2 of the first movie's second frame on unmapped, so that reading it fails with
// an I/O error. Its byte 0 cannot be read either, so the image is opened as a plain file and then
// handed this memory in its place. The extractors report the read error once, where the image's
// end would be reported; the bytes from the failure on read as 0xFF; the run fails.
TEST(ExtractorRun, ReportsAReadErrorOnceAndWritesEveryMovieWhole) {
  constexpr uint64_t kImageAt = 0x20000000;
  auto* bytes = static_cast<uint8_t*>(
      ::mmap(reinterpret_cast<void*>(kImageAt), 4 * kFrameBytes, PROT_READ | PROT_WRITE,
             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0));
  if (bytes != reinterpret_cast<uint8_t*>(kImageAt)) GTEST_SKIP() << "address range in use";
  for (std::size_t i = 0; i < 4 * kFrameBytes; ++i) bytes[i] = static_cast<uint8_t>(i % 251);
  ASSERT_EQ(::munmap(bytes + kFrameBytes + 2 * 4096, 4096), 0);

  test::TempDir dir;
  const fs::path cwd = fs::current_path();
  fs::current_path(dir.path());
  test::write_file("kv9disc1.img", "");
  test::write_file("kv9cdadr.ini",
                   "[kv9disc1.img]\nid=0, address=0x20000000, frame=0x2\n"
                   "id=1, address=0x2000A000, frame=0x2\n");
  auto run = std::make_unique<ExtractorRun>();
  auto state = std::make_unique<VideoOnlyState>();
  init_video_only(*state);
  const char* argv[] = {"vidcopy", "kv9disc1.img", "0-1"};
  int status = 0;
  const std::string console = test::console_of([&] {
    ASSERT_EQ(prepare_extractor_run(*run, {"vidcopy", "", ""}, 3, const_cast<char**>(argv)),
              kRunGoesOn);
    ASSERT_TRUE(open_extractor_image(*run));
    ::close(static_cast<int>(run->image.handle));
    run->image.handle = ::open("/proc/self/mem", O_RDONLY);
    status =
        convert_movies(*run, [&](MovieJob& job, int) { convert_movie_video_only(job, *state); });
  });
  fs::current_path(cwd);
  EXPECT_EQ(status, kExitFailure);
  EXPECT_TRUE(
      console.ends_with("\ndone. (2 frame)\ncannot read file kv9disc1.img\nimage "
                        "kv9disc1.img ends before movie 101 starts: no file written\n"))
      << console;
  // The movie's bytes, then 0xFF from the failure on: chunk 3 of the second frame lies past it.
  const auto* image = reinterpret_cast<const char*>(kImageAt);
  const std::string out = test::read_file(dir / "kv9_100.str");
  EXPECT_EQ(out.size(), 44u + 2 * 8 * 2352);
  EXPECT_TRUE(out.substr(44 + 56, 2016) == std::string(image + 4104, 2016));
  EXPECT_TRUE(out.substr(44 + 11 * 2352 + 56, 2016) == std::string(2016, '\xFF'));
  EXPECT_FALSE(fs::exists(dir / "kv9_101.str"));
  ::munmap(bytes, 4 * kFrameBytes);
}

}  // namespace
}  // namespace kv9
