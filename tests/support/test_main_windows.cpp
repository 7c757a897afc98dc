// The unit tests' main on Windows: GoogleTest's lists and reports go out with plain line feeds,
// as CMake's test discovery reads them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>

#include <cstdio>

int main(int argc, char** argv) {
  ::_setmode(::_fileno(stdout), _O_BINARY);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
