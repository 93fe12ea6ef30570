// MPEG audio frames built byte by byte for the identification tests and
// the fuzz seeds: headers with any field, frames of a given length, and the
// "Xing" and "VBRI" headers of a first frame.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/wav_files.h"

namespace zel::testing {

// Version bits: 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5.
struct THeaderFields {
  int VersionBits = 3;
  int Layer = 3;
  int BitRateIndex = 9;   // 128 kbit/s for MPEG-1 layer III
  int RateIndex = 0;      // 44100 Hz for MPEG-1
  bool Padding = false;
  int ChannelMode = 0;
  bool Protected = false;
  int Emphasis = 0;
};

inline TBytes HeaderBytes(const THeaderFields& f) {
  return {0xFF,
          static_cast<uint8_t>(0xE0 | f.VersionBits << 3 | (4 - f.Layer) << 1 | (f.Protected ? 0 : 1)),
          static_cast<uint8_t>(f.BitRateIndex << 4 | f.RateIndex << 2 | (f.Padding ? 2 : 0)),
          static_cast<uint8_t>(f.ChannelMode << 6 | f.Emphasis)};
}

// A frame of the given length: the header, then fill bytes.
inline TBytes Frame(const THeaderFields& f, size_t length, uint8_t fill = 0) {
  TBytes bytes = HeaderBytes(f);
  bytes.resize(length, fill);
  return bytes;
}

inline void PutBE32(TBytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// A first frame carrying a "Xing" (or "Info") header at `at` with frame and
// byte counts.
inline TBytes XingFrame(const THeaderFields& f, size_t length, size_t at, uint32_t frames, uint32_t bytes,
                        const char* tag = "Xing") {
  TBytes frame = Frame(f, length);
  std::copy(tag, tag + 4, frame.begin() + static_cast<ptrdiff_t>(at));
  PutBE32(frame, at + 4, 3);
  PutBE32(frame, at + 8, frames);
  PutBE32(frame, at + 12, bytes);
  return frame;
}

// A first frame carrying a "VBRI" header 32 bytes after its header.
inline TBytes VbriFrame(const THeaderFields& f, size_t length, uint32_t frames, uint32_t bytes) {
  TBytes frame = Frame(f, length);
  const char* tag = "VBRI";
  std::copy(tag, tag + 4, frame.begin() + 36);
  PutBE32(frame, 36 + 10, bytes);
  PutBE32(frame, 36 + 14, frames);
  return frame;
}

// An ID3v2 tag of 10 + body bytes.
inline TBytes Id3v2Tag(uint32_t body) {
  TBytes tag = {'I', 'D', '3', 3, 0, 0,
                static_cast<uint8_t>((body >> 21) & 0x7F), static_cast<uint8_t>((body >> 14) & 0x7F),
                static_cast<uint8_t>((body >> 7) & 0x7F), static_cast<uint8_t>(body & 0x7F)};
  tag.resize(10 + body, 0);
  return tag;
}

inline TBytes Id3v1Tag() {
  TBytes tag = {'T', 'A', 'G'};
  tag.resize(128, ' ');
  return tag;
}

// MPEG-1 layer III frames of 128 kbit/s at 44.1 kHz until `size` bytes:
// 417 bytes, padded to 418 where an encoder pads them (so that frame n
// starts at n x 144 x 128000 / 44100, rounded down); the last frame is cut
// at that size.
inline TBytes CbrFrames(size_t size, int channelMode = 0) {
  constexpr double kExact = 144 * 128000 / 44100.0;
  TBytes bytes;
  for (int n = 0; bytes.size() < size; ++n) {
    THeaderFields f;
    const auto length = static_cast<size_t>(std::floor((n + 1) * kExact) - std::floor(n * kExact));
    f.Padding = length == 418;
    f.ChannelMode = channelMode;
    Append(bytes, Frame(f, length, static_cast<uint8_t>(n % 200)));
  }
  bytes.resize(size);
  return bytes;
}

}  // namespace zel::testing
