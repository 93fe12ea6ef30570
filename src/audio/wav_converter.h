// The base of every decoder: reads a file's sound data through the stream
// gate into an input buffer, turns it into PCM in an output buffer, and
// hands out exactly the bytes asked for. As it stands it decodes integer
// PCM (passed on unchanged for 8 and 16 bits) and, through a resampler, 24
// and 32-bit integer and float data; other decoders override the steps.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/local_buffer.h"
#include "audio/media_info.h"
#include "audio/pcm_resampler.h"
#include "core/obj.h"
#include "core/streams.h"

namespace zel {

class TWavConverter : public TObj {
 public:
  static constexpr int64_t kChunkSize = 4096;
  // 24-bit data is read three frames' worth of a 16-bit chunk at a time.
  static constexpr int64_t kChunkSize24 = 12288;

  // stream is not owned and may be null for decoders that make their data
  // themselves (the composite sound).
  explicit TWavConverter(TStream* stream) : fStream(stream) {}

  // Positions at ms of the sound: both buffers emptied; with a known block
  // align and rate the stream moves to the block at or before that time.
  virtual void Seek(double ms);
  // Turns input into Output (through the resampler when a target format is
  // set) and empties input; Position grows by the time produced. False when
  // the data cannot be decoded.
  virtual bool Decode(TLocalBuffer& input);
  // Reads the next chunk into Input, never past the sound data; true when
  // anything was read.
  virtual bool ReadMore();
  // Takes the file's information: buffer formats and capacity, Seek(0),
  // and the global output format as target for float, 24 and 32-bit data.
  // False when the file cannot be decoded by this decoder.
  virtual bool Open(const TMediaInfo& info);
  // Makes Output hold n bytes. False when the data ran out before any of
  // them (padded with silence) or a decode failed (padded with zeros).
  virtual bool Fill(int64_t n);

  // Sets the format Output is delivered in; a resampler is made when it
  // differs from the decoded format.
  void SetTargetFormat(const TWaveFormat& target);
  // The format Output holds.
  const TWaveFormat& OutputFormat() const { return Output.Format; }

  // Milliseconds of output produced since the last seek, plus the seek's.
  double Position = 0;
  TLocalBuffer Input;
  TLocalBuffer Output;

 protected:
  TStream* Stream() const { return fStream; }
  const TMediaInfo& Info() const { return fInfo; }
  TPcmResampler* Resampler() const { return fResampler.get(); }
  // Bytes read at a time.
  int64_t ChunkSize = kChunkSize;
  // Appends decoded bytes in the decoded format to Output (converted when
  // a target is set) and advances Position.
  void Deliver(std::span<const uint8_t> decoded);
  // The format the decoding step produces (the file's, for the base).
  TWaveFormat fDecodedFormat;

  // What every Open does once the file is accepted: keeps the information,
  // gives Input the file's format and Output the decoded one, both with
  // ChunkSize bytes of room, drops the resampler and seeks to 0.
  void OpenBuffers(const TMediaInfo& info, const TWaveFormat& decodedFormat);
  // Empties both buffers and restarts the resampler (every seek does).
  void ClearBuffers();
  // Moves the stream to offset bytes into the sound data, clamped to it.
  void SeekData(int64_t offset);
  // Whether the last ReadMore came to the end of the sound data (read less
  // than it asked for): a decoder may then decode a last partial block.
  bool InputEnded() const { return fInputEnded; }

 private:
  // The bytes the next ReadMore asks for.
  int64_t ReadSize() const;

  TStream* fStream;
  TMediaInfo fInfo;
  std::unique_ptr<TPcmResampler> fResampler;
  bool fInputEnded = false;
};

}  // namespace zel
