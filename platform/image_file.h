// The disc image as the operating system hands it over: opened once by its path, then read at
// any offset where the file allows it (an image file), or front to back (a pipe). Everything
// that differs between the systems about reading an image lives behind these functions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv9 {

struct ImageFile {
  intptr_t handle = -1;   // the system's handle of the open file
  bool seekable = false;  // read at any offset; false for a pipe, read front to back
  int64_t size = -1;      // the size of a regular file, else -1
};

// Opens the image for reading. Fails when it cannot be opened, names a folder, or (where it can
// be read at an offset) its first byte cannot be read: such a file is no image at all.
bool open_image_file(ImageFile& f, const char* path);
void close_image_file(ImageFile& f);

// One read of up to n bytes, at `offset` of a seekable image or the next bytes of a pipe; an
// interrupted read is retried. Returns the count read (> 0), 0 at the end of the image, or -1
// on a read error.
int64_t read_image_file(const ImageFile& f, uint64_t offset, uint8_t* dst, std::size_t n);

}  // namespace kv9
