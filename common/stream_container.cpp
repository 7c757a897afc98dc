#include "common/stream_container.h"

#include <cstring>

namespace kv9 {
namespace {

inline constexpr std::array<uint8_t, 12> kSync = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                  0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
inline constexpr std::size_t kSubheaderOffset = 16;

// Video sector header fields, as sector offsets.
inline constexpr std::size_t kMagicOffset = 24;
inline constexpr std::size_t kTypeOffset = 26;
inline constexpr std::size_t kIndexOffset = 28;
inline constexpr std::size_t kCountOffset = 30;
inline constexpr std::size_t kFrameNumberOffset = 32;
inline constexpr std::size_t kFrameSizeOffset = 36;
inline constexpr std::size_t kWidthOffset = 40;
inline constexpr std::size_t kHeightOffset = 42;
inline constexpr std::size_t kFrameHeadOffset = 44;
static_assert(kFrameHeadOffset + kFrameHeadBytes + 4 == kVideoTemplateBytes);

void put_prefix(uint8_t* sector, const Subheader& subheader) {
  std::memcpy(sector, kSync.data(), kSync.size());
  std::memcpy(sector + kSubheaderOffset, subheader.data(), subheader.size());
  std::memcpy(sector + kSubheaderOffset + subheader.size(), subheader.data(), subheader.size());
}

}  // namespace

void init_video_sector(VideoSector& v, const Subheader& subheader, uint8_t sectors_in_frame) {
  v.bytes.fill(0);
  uint8_t* s = v.bytes.data();
  put_prefix(s, subheader);
  put_le16(s + kMagicOffset, kVideoSectorMagic);
  put_le16(s + kTypeOffset, kVideoSectorType);
  s[kCountOffset] = sectors_in_frame;
  put_le32(s + kFrameSizeOffset, kDeclaredFrameSize);
  put_le16(s + kWidthOffset, kPictureWidth);
  put_le16(s + kHeightOffset, kPictureHeight);
}

void set_frame_fields(VideoSector& v, uint32_t frame_number, uint8_t sectors_in_frame,
                      const uint8_t* frame_head) {
  uint8_t* s = v.bytes.data();
  put_le16(s + kFrameNumberOffset, frame_number & 0xFFFF);  // bytes 34-35 stay zero
  s[kCountOffset] = sectors_in_frame;
  std::memcpy(s + kFrameHeadOffset, frame_head, kFrameHeadBytes);
}

void set_sector_index(VideoSector& v, uint8_t index) {
  v.bytes[kIndexOffset] = index;
}

void write_stream_header(OutputFile& out) {
  std::array<uint8_t, kStreamHeaderBytes> h{};
  std::memcpy(h.data(), "RIFF", 4);
  std::memcpy(h.data() + 8, "CDXA", 4);
  put_bytes(out, h.data(), h.size());
}

void write_video_sector(OutputFile& out, VideoSector& v, const VideoStaging& staging,
                        uint8_t index) {
  static_assert(kMaxVideoChunks * kVideoChunkBytes <= sizeof(VideoStaging));
  set_sector_index(v, index);
  std::memcpy(v.bytes.data() + kVideoTemplateBytes, staging.data() + kVideoChunkBytes * index,
              kVideoChunkBytes);
  put_bytes(out, v.bytes.data(), v.bytes.size());
}

void write_audio_sector(OutputFile& out, const uint8_t* sound_groups) {
  std::array<uint8_t, kRawSectorSize> sector{};
  put_prefix(sector.data(), kAudioSubheader);
  std::memcpy(sector.data() + kSectorPrefixBytes, sound_groups, kXaAudioBytes);
  put_bytes(out, sector.data(), sector.size());
}

void write_zero_sector(OutputFile& out) {
  put_zeros(out, kRawSectorSize);
}

}  // namespace kv9
