#include "common/progress_meter.h"

#include <cstdio>

namespace kv9 {
namespace {

inline constexpr uint32_t kDotCreditPerSector = 5;
inline constexpr int32_t kPercentStep = 10;

}  // namespace

void reset_progress(ProgressMeter& meter, uint32_t frames) {
  meter = {frames, 0, 0, 0};
}

void advance_progress(ProgressMeter& meter) {
  meter.dot_credit += kDotCreditPerSector;
  meter.sectors_since_mark += 1;
  if (meter.sectors_since_mark == meter.frames) {
    meter.percent_shown += kPercentStep;
    std::printf("%0d%%", meter.percent_shown);
    meter.sectors_since_mark = 0;
    meter.dot_credit = 0;
  } else if (meter.dot_credit >= meter.frames) {
    std::putchar('.');
    meter.dot_credit = 0;
  } else {
    return;
  }
  std::fflush(stdout);
}

}  // namespace kv9
