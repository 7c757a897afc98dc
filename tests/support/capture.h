// Test support: the console output of a piece of code.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace kv9::test {

template <class F>
std::string console_of(F&& f) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  f();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

}  // namespace kv9::test
