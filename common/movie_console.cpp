#include "common/movie_console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/file_names.h"

namespace kv9 {
namespace {

// The longest line a movie prints: a message naming the image's path.
inline constexpr std::size_t kLineBytes = kMaxPathBytes + 256;

void print_live(const char* text, std::size_t n) {
  std::fwrite(text, 1, n, stdout);
  std::fflush(stdout);
}

}  // namespace

void start_console(MovieConsole& c, ConsoleMode mode) {
  const std::lock_guard<std::mutex> hold(c.lock);
  c.mode = mode;
  c.held = 0;
}

void console_puts(MovieConsole& c, const char* text) {
  const std::size_t n = std::strlen(text);
  std::unique_lock<std::mutex> hold(c.lock);
  if (c.mode == ConsoleMode::kHeld && c.held + n > c.text.size()) {
    c.turn_came.wait(hold, [&] { return c.mode != ConsoleMode::kHeld; });
  }
  switch (c.mode) {
    case ConsoleMode::kLive:
      print_live(text, n);
      break;
    case ConsoleMode::kHeld:
      std::memcpy(c.text.data() + c.held, text, n);
      c.held += n;
      break;
    case ConsoleMode::kMuted:
      break;
  }
}

void console_printf(MovieConsole& c, const char* format, ...) {
  char line[kLineBytes];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  console_puts(c, line);
}

void give_turn(MovieConsole& c, bool mute) {
  {
    const std::lock_guard<std::mutex> hold(c.lock);
    if (mute) {
      c.mode = ConsoleMode::kMuted;
    } else {
      if (c.mode == ConsoleMode::kHeld) print_live(c.text.data(), c.held);
      c.mode = ConsoleMode::kLive;
    }
    c.held = 0;
  }
  c.turn_came.notify_all();
}

}  // namespace kv9
