// What one movie prints. While the movie is at the head of the range its lines and progress
// marks go to standard output as they come; a later movie's, converted meanwhile by another
// worker, are held until its turn and then printed whole, so standard output reads as if the
// movies had been converted one after another.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace kv9 {

inline constexpr std::size_t kHeldConsoleBytes = std::size_t{1} << 16;

enum class ConsoleMode {
  kLive,   // printed at once
  kHeld,   // kept until the movie's turn; a movie that prints more than the room waits for it
  kMuted,  // dropped: the movie's result is not used
};

struct MovieConsole {
  std::mutex lock;
  std::condition_variable turn_came;
  ConsoleMode mode = ConsoleMode::kLive;
  std::size_t held = 0;
  std::array<char, kHeldConsoleBytes> text;
};

// Starts the console of a new movie: live for the movie at the head of the range, else held.
void start_console(MovieConsole& c, ConsoleMode mode);

[[gnu::format(printf, 2, 3)]] void console_printf(MovieConsole& c, const char* format, ...);
void console_puts(MovieConsole& c, const char* text);

// The movie's turn: what it holds is printed and it goes on live; or, when its result is not
// used, everything it prints from now on is dropped.
void give_turn(MovieConsole& c, bool mute);

}  // namespace kv9
