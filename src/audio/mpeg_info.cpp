#include "audio/mpeg_info.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <vector>

#include "audio/stream_gate.h"

namespace zel {

namespace {

// kbit/s by [MPEG-1 or not][layer - 1][index]; index 0 (free format) and
// 15 are never looked up.
constexpr int16_t kBitRates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
};

// Hz by [version][index].
constexpr int32_t kSampleRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

// Reads stream bytes are taken in blocks of this size when walking frames.
constexpr int64_t kWindowBlock = 65536;

uint32_t BigEndian32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

// A playing time in ms, rounded and kept inside int32.
int32_t RoundMs(double ms) {
  if (!(ms > 0)) return 0;
  constexpr double kMax = std::numeric_limits<int32_t>::max();
  return ms >= kMax ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(std::nearbyint(ms));
}

// Up to count bytes of the stream from pos (fewer at its end).
std::vector<uint8_t> ReadAt(TStream& stream, int64_t pos, int64_t count) {
  std::vector<uint8_t> bytes(static_cast<size_t>(std::max<int64_t>(count, 0)));
  if (bytes.empty()) return bytes;
  StreamWrapper().Seek(stream, pos, 0);
  size_t got = 0;
  while (got < bytes.size()) {
    const int32_t want = static_cast<int32_t>(std::min<size_t>(bytes.size() - got, 1 << 20));
    const int32_t n = StreamWrapper().Read(stream, bytes.data() + got, want);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

// A read-ahead window over the stream for walks from frame to frame, so
// that a walk over thousands of frames makes few requests to the gate.
class TByteWindow {
 public:
  TByteWindow(TStream& stream, int64_t end) : fStream(stream), fEnd(end) {}

  // The bytes from pos on, at least count of them unless the data ends
  // first; empty when pos lies outside the data.
  std::span<const uint8_t> At(int64_t pos, int64_t count) {
    if (pos < 0 || pos >= fEnd) return {};
    const int64_t wanted = std::min(count, fEnd - pos);
    if (pos < fStart || pos + wanted > fStart + static_cast<int64_t>(fBytes.size())) {
      fStart = pos;
      fBytes = ReadAt(fStream, pos, std::min(std::max(count, kWindowBlock), fEnd - pos));
    }
    const auto from = static_cast<size_t>(pos - fStart);
    return std::span<const uint8_t>(fBytes).subspan(std::min(from, fBytes.size()));
  }

  // A confirmed frame (see ConfirmedFrame) at pos.
  bool Confirmed(int64_t pos, const TMpegHeader* reference, TMpegHeader& header) {
    const auto bytes = At(pos, TMpegHeader::kMaxFrameLength + 2 * TMpegHeader::kSize);
    return ConfirmedFrame(bytes, 0, fEnd - pos, reference, header);
  }

 private:
  TStream& fStream;
  int64_t fEnd;
  int64_t fStart = 0;
  std::vector<uint8_t> fBytes;
};

// The size of an ID3v2 tag at the start of bytes (header, body and
// footer), 0 when none is there.
int64_t Id3v2TagSize(std::span<const uint8_t> bytes) {
  if (bytes.size() < 10 || std::memcmp(bytes.data(), "ID3", 3) != 0) return 0;
  if (bytes[3] == 0xFF || bytes[4] == 0xFF) return 0;
  if ((bytes[6] | bytes[7] | bytes[8] | bytes[9]) & 0x80) return 0;
  const int64_t body = int64_t{bytes[6]} << 21 | int64_t{bytes[7]} << 14 | int64_t{bytes[8]} << 7 | bytes[9];
  const bool footer = bytes[3] >= 4 && (bytes[5] & 0x10) != 0;
  return body + (footer ? 20 : 10);
}

}  // namespace

// ---------------------------------------------------------------------------
// Frame headers.

bool TMpegHeader::Valid(const uint8_t* bytes) {
  if (bytes[0] != 0xFF || bytes[1] < 0xE0) return false;
  if (((bytes[1] >> 3) & 3) == 1 || ((bytes[1] >> 1) & 3) == 0) return false;
  const int bitRateIndex = bytes[2] >> 4;
  if (bitRateIndex == 0 || bitRateIndex == 15 || ((bytes[2] >> 2) & 3) == 3) return false;
  return (bytes[3] & 3) != 2;
}

bool TMpegHeader::Decode(const uint8_t* bytes, TMpegHeader& header) {
  if (!Valid(bytes)) return false;
  const int versionBits = (bytes[1] >> 3) & 3;
  header.Version = versionBits == 3   ? TMpegVersion::Mpeg1
                   : versionBits == 2 ? TMpegVersion::Mpeg2
                                      : TMpegVersion::Mpeg25;
  header.Layer = 4 - ((bytes[1] >> 1) & 3);
  header.Protected = (bytes[1] & 1) == 0;
  header.BitRateIndex = bytes[2] >> 4;
  header.SampleRateIndex = (bytes[2] >> 2) & 3;
  header.Padding = (bytes[2] & 2) != 0;
  header.ChannelMode = bytes[3] >> 6;
  header.Emphasis = bytes[3] & 3;
  const int mpeg1 = header.Version == TMpegVersion::Mpeg1 ? 0 : 1;
  header.BitRate = kBitRates[mpeg1][header.Layer - 1][header.BitRateIndex];
  header.SampleRate = kSampleRates[static_cast<int>(header.Version)][header.SampleRateIndex];
  return true;
}

int32_t TMpegHeader::FrameLength() const {
  if (SampleRate <= 0) return 0;
  const int64_t bits = int64_t{BitRate} * 1000;
  const int32_t padding = Padding ? 1 : 0;
  if (Layer == 1) return static_cast<int32_t>((12 * bits / SampleRate + padding) * 4);
  const int64_t factor = Layer == 3 && Version != TMpegVersion::Mpeg1 ? 72 : 144;
  return static_cast<int32_t>(factor * bits / SampleRate + padding);
}

int32_t TMpegHeader::SamplesPerFrame() const {
  if (Layer == 1) return 384;
  if (Layer == 3 && Version != TMpegVersion::Mpeg1) return 576;
  return 1152;
}

int32_t TMpegHeader::SideInfoSize() const {
  if (Version == TMpegVersion::Mpeg1) return ChannelMode == 3 ? 17 : 32;
  return ChannelMode == 3 ? 9 : 17;
}

bool ConfirmedFrame(std::span<const uint8_t> bytes, int64_t at, int64_t dataEnd, const TMpegHeader* reference,
                    TMpegHeader& header) {
  const auto size = static_cast<int64_t>(bytes.size());
  if (at < 0 || at + TMpegHeader::kSize > size) return false;
  TMpegHeader first;
  if (!TMpegHeader::Decode(&bytes[static_cast<size_t>(at)], first)) return false;
  if (reference && !first.SameStream(*reference)) return false;
  const int64_t next = at + first.FrameLength();
  if (next != dataEnd) {
    TMpegHeader second;
    if (next + TMpegHeader::kSize > size || !TMpegHeader::Decode(&bytes[static_cast<size_t>(next)], second) ||
        !second.SameStream(first)) {
      return false;
    }
  }
  header = first;
  return true;
}

// ---------------------------------------------------------------------------
// Identification.

bool TMpegInfo::Read(TStream& stream, int64_t regionStart, int64_t regionEnd, int64_t bitRateHint) {
  *this = TMpegInfo();
  StreamSize = std::max<int64_t>(StreamWrapper().Size(stream), 0);
  regionStart = std::clamp<int64_t>(regionStart, 0, StreamSize);
  regionEnd = std::clamp<int64_t>(regionEnd, regionStart, StreamSize);
  Id3v2Size = std::min(Id3v2TagSize(ReadAt(stream, regionStart, 10)), regionEnd - regionStart);
  const int64_t scanStart = regionStart + Id3v2Size;
  int64_t dataEnd = regionEnd;
  if (dataEnd - scanStart >= kId3v1Size) {
    const auto tag = ReadAt(stream, dataEnd - kId3v1Size, 3);
    HasId3v1 = tag.size() == 3 && std::memcmp(tag.data(), "TAG", 3) == 0;
    if (HasId3v1) dataEnd -= kId3v1Size;
  }
  // The scan range and, after its last start, room for one frame, the next
  // header and a frame after a "Xing" frame.
  const int64_t windowSize = kScanLimit + 2 * TMpegHeader::kMaxFrameLength + 2 * TMpegHeader::kSize;
  const auto window = ReadAt(stream, scanStart, std::min(dataEnd - scanStart, windowSize));
  if (!FindFirstFrame(window, scanStart, dataEnd)) return false;
  Measure(stream, bitRateHint);
  return true;
}

bool TMpegInfo::FindFirstFrame(std::span<const uint8_t> window, int64_t windowStart, int64_t dataEnd) {
  const int64_t end = dataEnd - windowStart;
  const int64_t limit = std::min<int64_t>(kScanLimit, static_cast<int64_t>(window.size()));
  for (int64_t p = 0; p < limit; ++p) {
    if (window[static_cast<size_t>(p)] != 0xFF) continue;
    TMpegHeader header;
    if (!ConfirmedFrame(window, p, end, nullptr, header)) continue;
    First = header;
    DataOffset = windowStart + p;
    const int64_t length = header.FrameLength();
    ReadTagFrame(window.subspan(static_cast<size_t>(p), static_cast<size_t>(std::min<int64_t>(
                                                           length, static_cast<int64_t>(window.size()) - p))));
    if (TagFrame == TMpegTagFrame::Xing || TagFrame == TMpegTagFrame::Info) {
      // The decoder skips this frame: the sound starts with the next one.
      DataOffset += length;
      TMpegHeader next;
      if (p + length + TMpegHeader::kSize <= static_cast<int64_t>(window.size()) &&
          TMpegHeader::Decode(&window[static_cast<size_t>(p + length)], next)) {
        First = next;
      }
    }
    DataSize = std::max<int64_t>(dataEnd - DataOffset, 0);
    return true;
  }
  return false;
}

void TMpegInfo::ReadTagFrame(std::span<const uint8_t> frame) {
  if (First.Layer != 3) return;
  const auto size = static_cast<int64_t>(frame.size());
  // "Xing" or "Info" after the side information (and the check word of a
  // protected frame): flags, then the fields the flags announce.
  for (const int64_t at : {int64_t{4} + First.SideInfoSize(), int64_t{6} + First.SideInfoSize()}) {
    if (at + 8 > size) break;
    const uint8_t* tag = &frame[static_cast<size_t>(at)];
    const bool xing = std::memcmp(tag, "Xing", 4) == 0;
    if (!xing && std::memcmp(tag, "Info", 4) != 0) {
      if (!First.Protected) break;
      continue;
    }
    TagFrame = xing ? TMpegTagFrame::Xing : TMpegTagFrame::Info;
    if ((BigEndian32(tag + 4) & 1) != 0 && at + 12 <= size) TagFrames = BigEndian32(tag + 8);
    return;
  }
  // "VBRI" sits 32 bytes after the header in every version: version,
  // delay and quality (2 bytes each), byte count, frame count.
  constexpr int64_t kVbri = 36;
  if (kVbri + 18 <= size && std::memcmp(&frame[kVbri], "VBRI", 4) == 0) {
    TagFrame = TMpegTagFrame::Vbri;
    TagFrames = BigEndian32(&frame[kVbri + 14]);
  }
}

void TMpegInfo::Measure(TStream& stream, int64_t bitRateHint) {
  const double bitsPerSecond = bitRateHint > 0 ? static_cast<double>(bitRateHint) : First.BitRate * 1000.0;
  Vbr = (TagFrame == TMpegTagFrame::Xing || TagFrame == TMpegTagFrame::Vbri) && TagFrames > 0;
  if (Vbr) {
    Duration = RoundMs(static_cast<double>(TagFrames) * First.FrameMs());
  } else {
    Duration = RoundMs(static_cast<double>(DataSize) * 8000.0 / bitsPerSecond);
  }
  StreamDuration = RoundMs(static_cast<double>(StreamSize) * 8000.0 / bitsPerSecond);
  FirstFrameLength = First.FrameLength();
  if (Vbr) {
    FrameTime = First.FrameMs();
    return;
  }
  // A constant bit rate pads some frames: the longest of the first three.
  const int64_t dataEnd = DataOffset + DataSize;
  const auto bytes =
      ReadAt(stream, DataOffset, std::min(DataSize, 3 * TMpegHeader::kMaxFrameLength + TMpegHeader::kSize));
  int64_t at = 0;
  for (int frame = 0; frame < 3; ++frame) {
    TMpegHeader header;
    if (at + TMpegHeader::kSize > static_cast<int64_t>(bytes.size()) ||
        !TMpegHeader::Decode(&bytes[static_cast<size_t>(at)], header) || !header.SameStream(First) ||
        DataOffset + at >= dataEnd) {
      break;
    }
    FirstFrameLength = std::max(FirstFrameLength, header.FrameLength());
    at += header.FrameLength();
  }
  FrameTime = DataSize > 0 && Duration > 0 ? static_cast<double>(Duration) / DataSize * FirstFrameLength
                                           : kUnknownFrameTime;
}

TWaveFormat TMpegInfo::Format() const {
  return Pcm16Format(static_cast<uint32_t>(First.SampleRate), static_cast<uint16_t>(First.Channels()));
}

void TMpegInfo::Store(TMediaInfo& info) const {
  info.Kind = TMediaKind::Mpeg;
  info.DataOffset = DataOffset;
  info.DataSize = DataSize;
  info.Duration = Duration;
  info.StreamDuration = StreamDuration;
  info.FirstFrameLength = FirstFrameLength;
  info.FrameTime = FrameTime;
  info.Format = Format();
  info.ExtraFormat = {};
  info.ExtraFormat[1] = Vbr ? 1 : 0;
}

bool ParseMpeg(TStream& stream, int64_t bitRateHint, TMediaInfo& info) {
  int64_t start = 0;
  int64_t end = std::numeric_limits<int64_t>::max();
  if (info.MpegInRiff) {
    start = std::max<int64_t>(info.DataOffset, 0);
    end = start + std::max<int64_t>(info.DataSize, 0);
  }
  TMpegInfo mpeg;
  if (!mpeg.Read(stream, start, end, bitRateHint)) return false;
  mpeg.Store(info);
  return true;
}

// ---------------------------------------------------------------------------
// Seeking.

namespace {

// Counts frames from the data start until ms is used up.
TMpegSeekPoint SeekVariable(TByteWindow& window, const TMediaInfo& info, const TMpegHeader& reference, double ms) {
  const int64_t end = info.DataOffset + info.DataSize;
  int64_t pos = info.DataOffset;
  double left = ms;
  int64_t frame = 0;
  while (left > 0 && pos < end) {
    TMpegHeader header;
    const auto bytes = window.At(pos, TMpegHeader::kSize);
    if (bytes.size() >= TMpegHeader::kSize && TMpegHeader::Decode(bytes.data(), header) &&
        header.SameStream(reference)) {
      pos += header.FrameLength();
      left -= info.FrameTime;
      if (frame >= 0) ++frame;
      continue;
    }
    // Damaged data: go on at the next confirmed frame.
    int64_t found = -1;
    for (int64_t p = pos + 1; p < std::min(end, pos + 1 + TMpegInfo::kScanLimit) && found < 0; ++p) {
      if (window.Confirmed(p, &reference, header)) found = p;
    }
    if (found < 0) break;
    pos = found;
    frame = -1;  // the frames skipped are not known
  }
  return {std::min(pos, end), left, frame};
}

// Jumps to the proportional byte offset, then on to the next frame of the
// stream's frame length that another frame follows.
TMpegSeekPoint SeekConstant(TByteWindow& window, const TMediaInfo& info, const TMpegHeader& reference, double ms) {
  const int64_t end = info.DataOffset + info.DataSize;
  int64_t jump = info.DataOffset;
  if (info.Duration > 0) {
    const double offset = std::nearbyint(static_cast<double>(info.DataSize) / info.Duration * ms);
    jump += static_cast<int64_t>(std::clamp(offset, 0.0, static_cast<double>(info.DataSize)));
  }
  const int32_t length = info.FirstFrameLength;
  for (int64_t p = jump; p < std::min(end, jump + TMpegInfo::kScanLimit); ++p) {
    TMpegHeader header;
    if (!window.Confirmed(p, &reference, header)) continue;
    if (length > 0 && std::abs(header.FrameLength() - length) > header.PaddingSize()) continue;
    const double skipped = static_cast<double>(p - jump);
    // The frames of a constant bit rate average samples / 8 x bit rate /
    // rate bytes.
    const double average = reference.SamplesPerFrame() / 8.0 * reference.BitRate * 1000 / reference.SampleRate;
    return {p, length > 0 ? -(skipped / length * info.FrameTime) : 0,
            std::llround(static_cast<double>(p - info.DataOffset) / average)};
  }
  return {jump, 0, -1};
}

// The highest bit rate of a header's version and layer.
int32_t LongestBitRate(const TMpegHeader& header) {
  return kBitRates[header.Version == TMpegVersion::Mpeg1 ? 0 : 1][header.Layer - 1][14];
}

// The longest frame of a header's stream: the highest bit rate, padded.
int64_t LongestFrame(const TMpegHeader& reference) {
  TMpegHeader longest = reference;
  longest.BitRateIndex = 14;
  longest.BitRate = LongestBitRate(reference);
  longest.Padding = true;
  return longest.FrameLength();
}

// The synthesis filter turns 32 samples a step through 16 phases, and a
// decoder rounds a few samples differently in another phase: frames this
// many apart start in the same phase.
int64_t SynthesisPeriod(const TMpegHeader& header) {
  return 16 / std::gcd(int64_t{header.SamplesPerFrame() / 32}, int64_t{16});
}

// The layer III frames of a chain with what priming needs of them: where
// their main data starts (after header, check word and side information),
// how far back it begins in the frames before, and those bytes.
class TPrimingChain {
 public:
  // whole: the chain starts at the first frame of the data.
  TPrimingChain(std::span<const uint8_t> bytes, const std::vector<int64_t>& starts, bool whole)
      : fBytes(bytes), fStarts(starts), fWhole(whole) {}

  // The main data's back reference of frame i (9 bits for MPEG-1, 8 else).
  int64_t MainDataBegin(int64_t i) const {
    TMpegHeader header;
    const uint8_t* side = Side(i, header);
    return header.Version == TMpegVersion::Mpeg1 ? (side[0] << 1 | side[1] >> 7) : side[0];
  }

  // Whether the frames before frame i hold all of its back reference (at
  // the data start they hold all there is).
  bool HasReservoir(int64_t i) const {
    const int64_t wanted = MainDataBegin(i);
    return fWhole || static_cast<int64_t>(MainDataBefore(i, wanted).size()) == wanted;
  }

  // A silent frame of the stream's highest bit rate whose main data ends
  // with the bytes frame i refers back to, so that a decoder starting with
  // it decodes frame i properly.
  std::vector<uint8_t> LeadFrame(int64_t i, const TMpegHeader& reference) const {
    const uint8_t* at = &fBytes[static_cast<size_t>(fStarts[static_cast<size_t>(i)])];
    std::vector<uint8_t> frame = {0xFF, static_cast<uint8_t>(at[1] | 1),  // no check word
                                  static_cast<uint8_t>(14 << 4 | reference.SampleRateIndex << 2), at[3]};
    frame.resize(static_cast<size_t>(LongestFrame(reference) - 1), 0);  // not padded
    // Its main data holds at least 511 bytes, the largest back reference.
    const std::vector<uint8_t> reservoir = MainDataBefore(i, MainDataBegin(i));
    std::copy(reservoir.begin(), reservoir.end(), frame.end() - static_cast<ptrdiff_t>(reservoir.size()));
    return frame;
  }

 private:
  const uint8_t* Side(int64_t i, TMpegHeader& header) const {
    const uint8_t* at = &fBytes[static_cast<size_t>(fStarts[static_cast<size_t>(i)])];
    TMpegHeader::Decode(at, header);
    return at + TMpegHeader::kSize + (header.Protected ? 2 : 0);
  }

  // The last (up to) count main data bytes of the frames before frame i.
  std::vector<uint8_t> MainDataBefore(int64_t i, int64_t count) const {
    std::vector<uint8_t> bytes;
    for (int64_t j = i - 1; j >= 0 && static_cast<int64_t>(bytes.size()) < count; --j) {
      TMpegHeader header;
      const uint8_t* main = Side(j, header) + header.SideInfoSize();
      const uint8_t* end = &fBytes[static_cast<size_t>(fStarts[static_cast<size_t>(j)])] + header.FrameLength();
      if (main < end) bytes.insert(bytes.begin(), main, end);
    }
    if (static_cast<int64_t>(bytes.size()) > count) bytes.erase(bytes.begin(), bytes.end() - count);
    return bytes;
  }

  std::span<const uint8_t> fBytes;
  const std::vector<int64_t>& fStarts;
  bool fWhole;
};

// The frame starts from `from` on that chain (valid headers of reference's
// stream, each one frame after the last, all within bytes) exactly up to
// `to`; empty when the chain misses it.
std::vector<int64_t> ChainTo(std::span<const uint8_t> bytes, int64_t from, int64_t to, const TMpegHeader& reference) {
  std::vector<int64_t> starts;
  to = std::min(to, static_cast<int64_t>(bytes.size()));
  for (int64_t at = from; at < to;) {
    TMpegHeader header;
    if (at + TMpegHeader::kSize > to || !TMpegHeader::Decode(&bytes[static_cast<size_t>(at)], header) ||
        !header.SameStream(reference)) {
      return {};
    }
    starts.push_back(at);
    at += header.FrameLength();
    if (at > to) return {};
  }
  return starts;
}

}  // namespace

TMpegSeekPoint SeekMpeg(TStream& stream, const TMediaInfo& info, double ms) {
  TMpegSeekPoint point{info.DataOffset, 0};
  const int64_t end = info.DataOffset + std::max<int64_t>(info.DataSize, 0);
  TByteWindow window(stream, end);
  TMpegHeader reference;
  const auto first = window.At(info.DataOffset, TMpegHeader::kSize);
  if (ms > 0 && first.size() >= TMpegHeader::kSize && TMpegHeader::Decode(first.data(), reference)) {
    const bool variable = info.ExtraFormat[1] != 0;
    if (variable && info.FrameTime > 0) {
      point = SeekVariable(window, info, reference, ms);
    } else if (!variable) {
      point = SeekConstant(window, info, reference, ms);
    }
  }
  StreamWrapper().Seek(stream, point.Offset, 0);
  return point;
}

TMpegPriming MpegPriming(TStream& stream, const TMediaInfo& info, const TMpegSeekPoint& point) {
  TMpegPriming none;
  none.Offset = point.Offset;
  TMpegHeader reference;
  const auto first = ReadAt(stream, info.DataOffset, TMpegHeader::kSize);
  if (point.Offset <= info.DataOffset || first.size() < TMpegHeader::kSize ||
      !TMpegHeader::Decode(first.data(), reference)) {
    return none;
  }
  const bool layer3 = reference.Layer == 3;
  const int64_t reservoir = !layer3 ? 0 : reference.Version == TMpegVersion::Mpeg1 ? 511 : 255;
  const int64_t period = SynthesisPeriod(reference);
  // Frames holding a full reservoir take less than twice its size; then the
  // frames to settle and to reach the phase.
  const int64_t reach = 2 * reservoir + (period + 3) * LongestFrame(reference);
  const int64_t start = std::max(info.DataOffset, point.Offset - reach);
  const auto bytes = ReadAt(stream, start, point.Offset - start);
  if (static_cast<int64_t>(bytes.size()) != point.Offset - start) return none;
  std::vector<int64_t> chain;
  for (int64_t at = 0; at < static_cast<int64_t>(bytes.size()) && chain.empty(); ++at) {
    if (bytes[static_cast<size_t>(at)] == 0xFF) chain = ChainTo(bytes, at, point.Offset - start, reference);
  }
  if (chain.empty()) return none;
  const TPrimingChain frames{bytes, chain, start == info.DataOffset && chain.front() == 0};
  // Layer III needs two frames after the made-up one to settle: one for the
  // transform's overlap, one for the synthesis filter.
  const int64_t settle = layer3 ? 2 : 0;
  const auto count = static_cast<int64_t>(chain.size());
  int64_t chosen = -1;
  for (int64_t i = count - settle; i >= 0 && chosen < 0; --i) {
    const bool lead = layer3 && frames.MainDataBegin(i) > 0;
    if (lead && !frames.HasReservoir(i)) break;
    // The number of the frame the decoder starts with.
    const int64_t number = point.Frame - (count - i) - (lead ? 1 : 0);
    if (point.Frame < 0 || (number % period + period) % period == 0) chosen = i;
  }
  if (chosen < 0) chosen = std::max<int64_t>(count - settle, 0);
  if (chosen == count) return none;
  TMpegPriming priming;
  priming.Offset = start + chain[static_cast<size_t>(chosen)];
  priming.Frames = static_cast<int32_t>(count - chosen);
  if (layer3 && frames.MainDataBegin(chosen) > 0) priming.LeadFrame = frames.LeadFrame(chosen, reference);
  priming.Samples = int64_t{priming.Frames + (priming.LeadFrame.empty() ? 0 : 1)} * reference.SamplesPerFrame();
  return priming;
}

}  // namespace zel
