// MPEG audio (layers I to III) as identification and seeking see it: the
// 4-byte frame header, the tags around the frames (ID3v2 before, ID3v1
// after), the variable-bit-rate headers in the first frame ("Xing", "Info",
// "VBRI"), the playing time, and the stream position of a time.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "audio/media_info.h"
#include "core/streams.h"

namespace zel {

enum class TMpegVersion : uint8_t { Mpeg1, Mpeg2, Mpeg25 };

// One frame header, decoded.
struct TMpegHeader {
  static constexpr int64_t kSize = 4;
  // The longest frame any header describes (MPEG-2.5 layer II, 160 kbit/s
  // at 8 kHz, padded), rounded up.
  static constexpr int64_t kMaxFrameLength = 2890;

  TMpegVersion Version = TMpegVersion::Mpeg1;
  int32_t Layer = 0;          // 1, 2 or 3
  bool Protected = false;     // a 16-bit check word follows the header
  int32_t BitRateIndex = 0;   // 1 .. 14
  int32_t SampleRateIndex = 0;
  int32_t BitRate = 0;        // kbit/s
  int32_t SampleRate = 0;     // Hz
  bool Padding = false;
  int32_t ChannelMode = 0;    // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
  int32_t Emphasis = 0;

  // The validity rule: sync bits, a version other than the reserved one, a
  // layer, a bit-rate index other than free format (0) and the forbidden 15,
  // a sample rate other than the reserved one, and no reserved emphasis.
  static bool Valid(const uint8_t* bytes);
  // Decodes 4 bytes; false (header untouched) when they are not valid.
  static bool Decode(const uint8_t* bytes, TMpegHeader& header);

  // Bytes of the whole frame, header included. Layer I counts in 4-byte
  // slots: (12 x bit rate / rate + padding) x 4. Layer II takes 144 x bit
  // rate / rate in every version, layer III 144 for MPEG-1 and 72 for
  // MPEG-2 and 2.5 (their frames hold half the samples); plus one padding
  // byte.
  int32_t FrameLength() const;
  // 384 for layer I, 1152 for layer II and MPEG-1 layer III, 576 for
  // MPEG-2 and 2.5 layer III.
  int32_t SamplesPerFrame() const;
  // The side information after the header (and check word) of layer III.
  int32_t SideInfoSize() const;
  int32_t Channels() const { return ChannelMode == 3 ? 1 : 2; }
  // What padding adds to a frame: one slot.
  int32_t PaddingSize() const { return Layer == 1 ? 4 : 1; }
  // Milliseconds one frame plays.
  double FrameMs() const { return SampleRate > 0 ? SamplesPerFrame() * 1000.0 / SampleRate : 0; }
  // Version, layer and sample rate agree: the frames may belong to one
  // stream (bit rate, padding and channel mode change from frame to frame).
  bool SameStream(const TMpegHeader& other) const {
    return Version == other.Version && Layer == other.Layer && SampleRateIndex == other.SampleRateIndex;
  }
};

// A frame at `at` of bytes counts when its header is valid (and belongs to
// reference's stream when one is given) and a second such header follows
// exactly one frame later, or the frame ends exactly at the end of the
// data, which `dataEnd` (an offset into bytes, or -1 for none inside)
// marks. A second header beyond the bytes cannot confirm it.
bool ConfirmedFrame(std::span<const uint8_t> bytes, int64_t at, int64_t dataEnd, const TMpegHeader* reference,
                     TMpegHeader& header);

// Which header the first frame carries instead of sound.
enum class TMpegTagFrame : uint8_t { None, Xing, Info, Vbri };

class TMpegInfo {
 public:
  // Bytes searched for the first frame after an ID3v2 tag.
  static constexpr int64_t kScanLimit = 65536;
  // The frame time when nothing tells it.
  static constexpr double kUnknownFrameTime = 26;
  static constexpr int64_t kId3v1Size = 128;

  // Reads the MPEG audio among bytes [regionStart, regionEnd) of the
  // stream. bitRateHint (bit/s, 0 for none) stands for the bit rate of a
  // constant-bit-rate stream. False when no confirmed frame header starts
  // within kScanLimit bytes after an ID3v2 tag.
  bool Read(TStream& stream, int64_t regionStart, int64_t regionEnd, int64_t bitRateHint);

  // The first frame with sound.
  TMpegHeader First;
  // The first frame with sound, and the bytes up to the end of the data
  // (before an ID3v1 tag). A "Xing" or "Info" frame (which decoders skip)
  // lies before it.
  int64_t DataOffset = 0;
  int64_t DataSize = 0;
  int64_t StreamSize = 0;
  int64_t Id3v2Size = 0;
  bool HasId3v1 = false;
  TMpegTagFrame TagFrame = TMpegTagFrame::None;
  // The frame count of a "Xing", "Info" or "VBRI" header (0 when none).
  int64_t TagFrames = 0;
  // A variable bit rate: a "Xing" or "VBRI" header with frames.
  bool Vbr = false;
  int32_t Duration = 0;        // ms
  int32_t StreamDuration = 0;  // ms, from the whole stream's size
  int32_t FirstFrameLength = 0;
  double FrameTime = kUnknownFrameTime;

  // 16-bit PCM of the stream's rate, one channel for single channel mode.
  TWaveFormat Format() const;
  // Fills the media information (kind MPEG, the variable-bit-rate flag in
  // the extra format's second byte); MpegInRiff is kept.
  void Store(TMediaInfo& info) const;

 private:
  bool FindFirstFrame(std::span<const uint8_t> window, int64_t windowStart, int64_t dataEnd);
  void ReadTagFrame(std::span<const uint8_t> frame);
  void Measure(TStream& stream, int64_t bitRateHint);
};

// Identification's MPEG parser: plain MPEG in the whole stream, or, for a
// WAV file (info.MpegInRiff, with the data chunk in DataOffset and
// DataSize), within the data chunk. False (info untouched) when it is not
// MPEG audio.
bool ParseMpeg(TStream& stream, int64_t bitRateHint, TMediaInfo& info);

// Where the frame for a time starts, and the correction: the asked time
// minus the time of that frame (0 or less when the frame starts later).
struct TMpegSeekPoint {
  int64_t Offset = 0;
  double Correction = 0;
  // The frame's number counted from the data start, -1 when not known.
  int64_t Frame = 0;
};

// Moves the stream to the frame for ms of an identified MPEG stream. With a
// variable bit rate the frames are counted from the data start; with a
// constant one the byte offset is proportional to the time and the next
// frame of the stream's length after it is taken.
TMpegSeekPoint SeekMpeg(TStream& stream, const TMediaInfo& info, double ms);

// What a decoder starting at a frame in the middle of the stream is fed
// first, so that from that frame on it decodes exactly what a decoder that
// started at the data start decodes:
// - layer III frames take some of their data from the frames before them
//   (up to 511 bytes, 255 for MPEG-2 and 2.5); a made-up silent frame ending
//   with those bytes goes first, followed by two frames in which the
//   transform's overlap and the synthesis filter settle;
// - the synthesis filter rounds a few samples differently in each of its
//   phases, so the first frame is one whose number (when the seek point's is
//   known) puts the filter in the phase a decoder from the start has there.
struct TMpegPriming {
  int64_t Offset = 0;              // where the stream's frames are fed from
  int32_t Frames = 0;              // how many of them lie before the seek point's
  std::vector<uint8_t> LeadFrame;  // fed before them; empty for none
  int64_t Samples = 0;             // samples per channel all of them decode to
};

// None at the data start or where no chain of frames reaches the point.
TMpegPriming MpegPriming(TStream& stream, const TMediaInfo& info, const TMpegSeekPoint& point);

}  // namespace zel
