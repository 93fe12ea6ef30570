// The decoder of MPEG audio (layers I to III, also inside WAV files), on
// libmpg123 fed incrementally: the frames are checked and resynchronised
// as they are read, decoded to 16-bit PCM of the stream's rate and channels
// and handed on through the base's output (and its converter when a target
// format is set).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "audio/mpeg_info.h"
#include "audio/wav_converter.h"

struct mpg123_handle_struct;

namespace zel {

class TMpegConverter : public TWavConverter {
 public:
  // The most read at a time; a constant-bit-rate stream reads six frames.
  static constexpr int64_t kMpegChunkSize = 4096;
  static constexpr int64_t kFramesPerChunk = 6;
  // A seek starts this much earlier and drops what that decodes, so that
  // the decoder's state has settled at the asked time.
  static constexpr double kLeadInMs = 100;
  static constexpr int kLeadInRounds = 10;

  explicit TMpegConverter(TStream* stream) : TWavConverter(stream) {}
  ~TMpegConverter() override;
  TMpegConverter(const TMpegConverter&) = delete;
  TMpegConverter& operator=(const TMpegConverter&) = delete;

  // A fresh decoder at the frame for ms - lead-in, primed with the frames
  // before it that layer III refers back to; the lead-in is decoded and
  // dropped. Position is ms less the seek's correction: the time of the
  // first sample Output gets next.
  void Seek(double ms) override;
  // Feeds the checked front of the input to the decoder (all of it at the
  // end of the data) and delivers what it gives. A decoder error counts as
  // producing nothing; the result is always true.
  bool Decode(TLocalBuffer& input) override;
  // Reads the next chunk, then walks the frames of what was read: bytes
  // between a broken frame and the next valid header are dropped (and more
  // read in their place).
  bool ReadMore() override;
  // False when the information is not MPEG audio of a known rate and one
  // or two channels, or when the decoder cannot be made.
  bool Open(const TMediaInfo& info) override;

  // Bytes resynchronisation dropped since Open.
  int64_t DroppedBytes() const { return fDropped; }

 private:
  // Releases the decoder and makes a fresh one; false when that fails.
  bool ResetDecoder();
  void ReleaseDecoder();
  // Feeds bytes and collects the PCM until the decoder wants more.
  void RunDecoder(const uint8_t* bytes, int64_t count, std::vector<uint8_t>& pcm);
  // Walks the frames from the next due header; true when it read more.
  bool Resynchronise();
  // A valid header of this stream (any valid one before the first).
  bool Acceptable(const uint8_t* bytes, TMpegHeader& header) const;
  // The position in Input of the next acceptable header from `from` on
  // that the next header follows (or whose follower is not read yet), or -1.
  int64_t FindHeader(int64_t from) const;
  // Decodes at most kLeadInRounds chunks until Output holds ms of sound,
  // then drops that much.
  void DecodeLeadIn(double ms);
  void DropInput(int64_t at, int64_t count);
  void LogFailure(const char* what);

  mpg123_handle_struct* fHandle = nullptr;
  // Where in Input the next frame header is due; it may lie beyond what
  // was read. Everything before it belongs to checked frames.
  int64_t fHeaderAt = 0;
  TMpegHeader fReference;
  bool fHasReference = false;
  int64_t fDropped = 0;
  // Decoded bytes still to drop of the frames fed before a seek's frame.
  int64_t fPrimingBytes = 0;
  bool fFailureLogged = false;
  // What one Decode call gets from the decoder (kept for its room).
  std::vector<uint8_t> fPcm;
};

}  // namespace zel
