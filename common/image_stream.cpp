#include "common/image_stream.h"

#include <algorithm>
#include <cstring>

namespace kv9 {
namespace {

void count_failure(SectorDamage& d, uint64_t sector) {
  if (sector < d.from || sector >= d.to) return;
  if (d.failed++ == 0) d.first_failed = sector;
}

// Takes the sectors that failed in the last read into the block's list, and counts those not
// counted yet.
void note_read_failures(ImageStream& s, uint64_t read_to) {
  FailedSectors& f = s.read_failures;
  for (std::size_t i = 0; i < f.count; ++i) {
    const uint64_t sector = f.index[i];
    if (sector >= s.damage.counted_to) count_failure(s.damage, sector);
    const std::size_t n = s.block_failure_count;
    if ((n == 0 || sector > s.block_failures[n - 1]) && n < s.block_failures.size()) {
      s.block_failures[s.block_failure_count++] = sector;
    }
  }
  f.count = 0;
  s.damage.counted_to = std::max(s.damage.counted_to, (read_to + kSectorSize - 1) / kSectorSize);
}

// Reads up to n bytes at the stream's image position, as many as the image gives before its end:
// a pipe hands its data over in pieces. Past `limit` it only looks whether there is more.
// Returns the count read; sets the indicators when the end, a read error or the limit is met.
std::size_t read_more(ImageStream& s, uint8_t* dst, std::size_t n) {
  const uint64_t at = s.block_at + s.len;
  bool failed = false;
  if (at >= s.limit) {
    uint8_t more;
    s.beyond_limit =
        read_disc_data(*s.image, at, &more, 1, s.raw.data(), s.read_failures, failed) > 0;
    s.read_failures.count = 0;
    s.no_more_data = true;
    return 0;
  }
  n = whole_sectors_to_read(*s.image, at, std::min<uint64_t>(n, s.limit - at));
  const std::size_t got =
      read_disc_data(*s.image, at, dst, n, s.raw.data(), s.read_failures, failed);
  note_read_failures(s, at + got);
  if (got < n) {
    s.no_more_data = true;
    s.read_failed = failed;
  }
  return got;
}

// Forgets the failed sectors that lie wholly before the block.
void drop_passed_failures(ImageStream& s) {
  const uint64_t first = s.block_at / kSectorSize;
  std::size_t keep = 0;
  while (keep < s.block_failure_count && s.block_failures[keep] < first) ++keep;
  std::copy(s.block_failures.begin() + keep, s.block_failures.begin() + s.block_failure_count,
            s.block_failures.begin());
  s.block_failure_count -= keep;
}

// Moves the unconsumed bytes to the front of the block and fills the rest from the file.
// Returns false when no byte is left at all.
bool refill(ImageStream& s) {
  const std::size_t left = s.len - s.pos;
  if (left > 0 && s.pos > 0) std::memmove(s.block.data(), s.block.data() + s.pos, left);
  s.block_at += s.pos;
  s.pos = 0;
  s.len = left;
  drop_passed_failures(s);
  if (!s.no_more_data) s.len += read_more(s, s.block.data() + left, s.block.size() - left);
  return s.len > 0;
}

}  // namespace

void start_image_stream(ImageStream& s, const DiscImage& image) {
  s.image = &image;
  s.block_at = 0;
  s.limit = UINT64_MAX;
  s.pos = s.len = 0;
  s.no_more_data = s.ended = s.read_failed = s.beyond_limit = false;
  s.damage = SectorDamage{};
  s.block_failure_count = s.read_failures.count = 0;
}

void watch_damage(ImageStream& s, uint64_t from, uint64_t to) {
  s.damage = SectorDamage{};
  s.damage.from = from / kSectorSize;
  s.damage.to = to == UINT64_MAX ? UINT64_MAX : (to + kSectorSize - 1) / kSectorSize;
  for (std::size_t i = 0; i < s.block_failure_count; ++i) {
    count_failure(s.damage, s.block_failures[i]);
  }
  s.damage.counted_to = (s.block_at + s.len + kSectorSize - 1) / kSectorSize;
}

void position_image(ImageStream& s, uint64_t grid, uint64_t offset) {
  if (!s.image->file.seekable) {
    skip_image(s, offset - (s.block_at + s.pos));
  } else if (s.len > 0 && offset >= s.block_at && offset - s.block_at <= s.len) {
    s.pos = static_cast<std::size_t>(offset - s.block_at);
  } else {
    s.block_at =
        offset < grid ? offset : grid + (offset - grid) / kImageBlockBytes * kImageBlockBytes;
    s.pos = s.len = 0;
    s.no_more_data = s.read_failed = false;
    s.block_failure_count = 0;
    skip_image(s, offset - s.block_at);
  }
  s.ended = false;
}

void read_image(ImageStream& s, uint8_t* dst, std::size_t n) {
  while (n > 0) {
    if (s.pos == s.len && !refill(s)) {
      std::memset(dst, kPastEndByte, n);
      s.ended = true;
      return;
    }
    const std::size_t take = std::min(n, s.len - s.pos);
    std::memcpy(dst, s.block.data() + s.pos, take);
    s.pos += take;
    dst += take;
    n -= take;
  }
}

void skip_image(ImageStream& s, uint64_t n) {
  while (n > 0) {
    if (s.pos == s.len && !refill(s)) {
      s.ended = true;
      return;
    }
    const std::size_t take = static_cast<std::size_t>(std::min<uint64_t>(n, s.len - s.pos));
    s.pos += take;
    n -= take;
  }
}

bool image_at_end(ImageStream& s) {
  return s.pos == s.len && !refill(s);
}

std::size_t peek_image(ImageStream& s, std::size_t want, const uint8_t*& data) {
  if (s.len - s.pos < want) refill(s);
  data = s.block.data() + s.pos;
  return s.len - s.pos;
}

}  // namespace kv9
