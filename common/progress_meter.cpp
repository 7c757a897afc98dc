#include "common/progress_meter.h"

namespace kv9 {
namespace {

inline constexpr uint32_t kDotCreditPerSector = 5;
inline constexpr int32_t kPercentStep = 10;

}  // namespace

void reset_progress(ProgressMeter& meter, uint32_t frames, MovieConsole& console) {
  meter = {&console, frames, 0, 0, 0};
}

void advance_progress(ProgressMeter& meter) {
  meter.dot_credit += kDotCreditPerSector;
  meter.sectors_since_mark += 1;
  if (meter.sectors_since_mark == meter.frames) {
    meter.percent_shown += kPercentStep;
    console_printf(*meter.console, "%0d%%", meter.percent_shown);
    meter.sectors_since_mark = 0;
    meter.dot_credit = 0;
  } else if (meter.dot_credit >= meter.frames) {
    console_puts(*meter.console, ".");
    meter.dot_credit = 0;
  }
}

}  // namespace kv9
