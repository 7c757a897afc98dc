// Reading numbers out of command-line and address-file text the way "%d" reads them, but
// refusing what does not fit instead of overflowing.
#pragma once

#include <cstdint>

namespace kv9 {

inline bool is_blank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}
inline bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

inline void skip_blanks(const char*& p) {
  while (is_blank(*p)) ++p;
}

// Leading white space, an optional sign, decimal digits. On success advances `p` past the
// number. Fails, leaving `p`, without digits or when the value does not fit 32 bits.
inline bool scan_decimal(const char*& p, int32_t& value) {
  const char* s = p;
  skip_blanks(s);
  const bool negative = (*s == '-');
  if (*s == '+' || *s == '-') ++s;
  if (!is_digit(*s)) return false;
  int64_t v = 0;
  while (is_digit(*s)) {
    v = v * 10 + (*s++ - '0');
    if (v > (int64_t{1} << 31)) return false;
  }
  v = negative ? -v : v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<int32_t>(v);
  p = s;
  return true;
}

// True when a number (optional blanks and sign, then a digit) starts at p.
inline bool starts_number(const char* p) {
  skip_blanks(p);
  if (*p == '+' || *p == '-') ++p;
  return is_digit(*p);
}

}  // namespace kv9
