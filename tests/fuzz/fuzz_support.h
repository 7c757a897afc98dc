// Shared pieces of the fuzz targets: failing loudly on a broken invariant, taking fields out of
// the fuzz input, private temporary files, and catching what the tools print on stdout.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace kv9::fuzz {

// Prints what went wrong and aborts, which libFuzzer reports as a crash with the input saved.
[[noreturn]] inline void fail(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
inline void fail(const char* fmt, ...) {
  std::fflush(stdout);
  std::fputs("\n*** invariant broken: ", stderr);
  va_list ap;
  va_start(ap, fmt);
  std::vfprintf(stderr, fmt, ap);
  va_end(ap);
  std::fputc('\n', stderr);
  std::abort();
}

#define KV9_FUZZ_CHECK(cond, ...)     \
  do {                                \
    if (!(cond)) {                    \
      ::kv9::fuzz::fail(__VA_ARGS__); \
    }                                 \
  } while (0)

// Takes little-endian fields from the front of the input; an exhausted input gives zeros.
class InputReader {
 public:
  InputReader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  uint8_t u8() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t u16() {
    const uint16_t lo = u8();
    return static_cast<uint16_t>(lo | (u8() << 8));
  }
  uint32_t u24() {
    const uint32_t lo = u16();
    return lo | (uint32_t{u8()} << 16);
  }
  uint32_t u32() {
    const uint32_t lo = u16();
    return lo | (uint32_t{u16()} << 16);
  }
  bool empty() const { return pos_ >= size_; }
  std::size_t left() const { return size_ - pos_; }
  const uint8_t* rest() const { return data_ + pos_; }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// A small deterministic byte stream for filling images from a seed taken out of the input.
struct ByteStream {
  uint64_t state;
  uint64_t next() {
    state += 0x9E3779B97F4A7C15ull;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  void fill(uint8_t* out, std::size_t n) {
    for (std::size_t i = 0; i < n; i += 8) {
      uint64_t w = next();
      for (std::size_t k = i; k < n && k < i + 8; ++k, w >>= 8) out[k] = static_cast<uint8_t>(w);
    }
  }
};

// A directory of this process's own under /dev/shm (or $TMPDIR, or /tmp), removed with its
// files when the process ends normally.
class TempDir {
 public:
  TempDir() {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/kv9fuzz.XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) fail("cannot create a temporary directory");
    dir_ = buf.data();
  }
  ~TempDir() {
    for (const std::string& f : files_) unlink(f.c_str());
    rmdir(dir_.c_str());
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The path of a file named `name` in the directory (remembered for the clean-up).
  std::string file(const char* name) {
    std::string path = dir_ + "/" + name;
    for (const std::string& f : files_) {
      if (f == path) return path;
    }
    files_.push_back(path);
    return path;
  }

 private:
  std::string dir_;
  std::vector<std::string> files_;
};

inline void write_file(const std::string& path, const void* data, std::size_t n) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) fail("cannot create %s", path.c_str());
  if (n > 0 && std::fwrite(data, 1, n, f) != n) fail("cannot write %s", path.c_str());
  if (std::fclose(f) != 0) fail("cannot close %s", path.c_str());
}

// Sends stdout (file descriptor 1) to a private temporary file for the life of the process, so
// that what the tools' code prints can be read back. With `keep` false nothing is kept and
// stdout simply goes to /dev/null.
class StdoutSink {
 public:
  explicit StdoutSink(bool keep) {
    std::fflush(stdout);
    if (keep) {
      std::FILE* t = std::tmpfile();
      if (t == nullptr) fail("cannot create a temporary file for stdout");
      fd_ = dup(fileno(t));
      std::fclose(t);
    } else {
      fd_ = open("/dev/null", O_WRONLY);
    }
    if (fd_ < 0 || dup2(fd_, STDOUT_FILENO) < 0) fail("cannot redirect stdout");
  }

  // Forgets everything printed so far.
  void clear() {
    std::fflush(stdout);
    if (ftruncate(STDOUT_FILENO, 0) != 0 || lseek(STDOUT_FILENO, 0, SEEK_SET) != 0) {
      fail("cannot reset the captured stdout");
    }
  }

  // Everything printed since the last clear().
  std::string text() {
    std::fflush(stdout);
    std::string out;
    char buf[4096];
    off_t at = 0;
    for (;;) {
      const ssize_t got = pread(fd_, buf, sizeof buf, at);
      if (got < 0) fail("cannot read the captured stdout");
      if (got == 0) break;
      out.append(buf, static_cast<std::size_t>(got));
      at += got;
    }
    return out;
  }

 private:
  int fd_ = -1;
};

// A short printable rendering of a string for failure messages.
inline std::string shown(const std::string& s, std::size_t limit = 400) {
  std::string out;
  for (std::size_t i = 0; i < s.size() && i < limit; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '\n') {
      out += "\\n";
    } else if (c < 32 || c >= 127) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (s.size() > limit) out += "...";
  return out;
}

// Index of the first difference of two strings (their common length if one is a prefix).
inline std::size_t first_difference(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return i;
}

}  // namespace kv9::fuzz
