#include "audio/mpeg_converter.h"

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>

#include "core/log.h"
#include "core/sync.h"

namespace zel {

namespace {

// Room for several frames of output per read (a layer II or III frame of
// stereo 16-bit PCM is 4608 bytes).
constexpr size_t kOutputBlock = 8 * 4608;

// Every call into libmpg123, from every decoder of the process, is made
// under this lock; the library is initialised once under it.
TCriticalSection& DecoderLock() {
  static TCriticalSection lock;
  return lock;
}

void InitLibraryLocked() {
  static const int result = mpg123_init();
  (void)result;
}

}  // namespace

TMpegConverter::~TMpegConverter() {
  try {
    ReleaseDecoder();
  } catch (const std::exception& e) {
    ReportAssertion(std::string("MPEG decoder release: ") + e.what(), __FILE__, __LINE__);
  }
}

void TMpegConverter::LogFailure(const char* what) {
  if (fFailureLogged) return;
  fFailureLogged = true;
  Log().Write(std::string("MPEG decoder error: ") + what);
}

void TMpegConverter::ReleaseDecoder() {
  std::lock_guard lock(DecoderLock());
  if (fHandle) mpg123_delete(fHandle);
  fHandle = nullptr;
}

bool TMpegConverter::ResetDecoder() {
  std::lock_guard lock(DecoderLock());
  if (fHandle) mpg123_delete(fHandle);
  fHandle = nullptr;
  InitLibraryLocked();
  int error = MPG123_OK;
  mpg123_handle* handle = mpg123_new(nullptr, &error);
  if (!handle) {
    LogFailure(mpg123_plain_strerror(error));
    return false;
  }
  // Without gapless decoding every frame gives all its samples, so a file
  // decodes to its frames times the samples per frame. The output is forced
  // to the stream's own rate and channels in 16 bits.
  const int channels = fDecodedFormat.Channels == 1 ? MPG123_MONO : MPG123_STEREO;
  const bool ready = mpg123_param(handle, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0) == MPG123_OK &&
                     mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0) == MPG123_OK &&
                     mpg123_format_none(handle) == MPG123_OK &&
                     mpg123_format(handle, static_cast<long>(fDecodedFormat.SamplesPerSec), channels,
                                   MPG123_ENC_SIGNED_16) == MPG123_OK &&
                     mpg123_open_feed(handle) == MPG123_OK;
  if (!ready) {
    LogFailure(mpg123_strerror(handle));
    mpg123_delete(handle);
    return false;
  }
  fHandle = handle;
  return true;
}

bool TMpegConverter::Open(const TMediaInfo& info) {
  const TWaveFormat& format = info.Format;
  if (format.SamplesPerSec == 0 || (format.Channels != 1 && format.Channels != 2)) return false;
  fHasReference = false;
  fDropped = 0;
  ChunkSize = kMpegChunkSize;
  const bool constant = info.ExtraFormat[1] == 0;
  if (constant && info.FirstFrameLength > 0) {
    ChunkSize = std::min<int64_t>(kMpegChunkSize, kFramesPerChunk * info.FirstFrameLength);
  }
  // Makes the decoder through Seek(0).
  OpenBuffers(info, Pcm16Format(format.SamplesPerSec, format.Channels));
  // The input holds MPEG frames, not PCM: the base reads it chunk by chunk.
  Input.Format.FormatTag = static_cast<uint16_t>(TWaveFormatTag::MpegLayer3);
  return fHandle != nullptr;
}

void TMpegConverter::RunDecoder(const uint8_t* bytes, int64_t count, std::vector<uint8_t>& pcm) {
  std::lock_guard lock(DecoderLock());
  if (!fHandle) return;
  if (mpg123_feed(fHandle, bytes, static_cast<size_t>(count)) != MPG123_OK) {
    LogFailure(mpg123_strerror(fHandle));
    return;
  }
  // A decoder that neither asks for data nor gives any must not hold the
  // loop: a few empty rounds in a row end it.
  for (int idle = 0; idle < 4;) {
    const size_t before = pcm.size();
    pcm.resize(before + kOutputBlock);
    size_t done = 0;
    const int result = mpg123_read(fHandle, pcm.data() + before, kOutputBlock, &done);
    if (result != MPG123_OK && result != MPG123_NEW_FORMAT && result != MPG123_NEED_MORE &&
        result != MPG123_DONE) {
      // What this call made is dropped; the decoder starts over at the
      // next frame fed to it.
      pcm.resize(before);
      LogFailure(mpg123_strerror(fHandle));
      mpg123_open_feed(fHandle);
      return;
    }
    pcm.resize(before + done);
    if (result == MPG123_NEED_MORE || result == MPG123_DONE) return;
    idle = done == 0 ? idle + 1 : 0;
  }
}

bool TMpegConverter::Decode(TLocalBuffer& input) {
  const bool own = &input == &Input;
  int64_t feed = input.Length();
  // Bytes from the next due header on wait until that frame is checked,
  // except at the end of the data.
  if (own && !InputEnded()) feed = std::clamp<int64_t>(fHeaderAt, 0, input.Length());
  if (feed <= 0) return true;
  std::vector<uint8_t>& pcm = fPcm;
  pcm.clear();
  try {
    RunDecoder(input.Data(), feed, pcm);
  } catch (const std::exception& e) {
    LogFailure(e.what());
    pcm.clear();
  }
  input.Consume(feed);
  if (own) fHeaderAt = std::max<int64_t>(fHeaderAt - feed, 0);
  // The frames fed only to prime the decoder after a seek give nothing.
  const auto primed = static_cast<size_t>(std::min<int64_t>(fPrimingBytes, static_cast<int64_t>(pcm.size())));
  fPrimingBytes -= static_cast<int64_t>(primed);
  if (pcm.size() > primed) Deliver(std::span<const uint8_t>(pcm).subspan(primed));
  return true;
}

bool TMpegConverter::ReadMore() {
  const bool read = TWavConverter::ReadMore();
  const bool refilled = Resynchronise();
  return read || refilled;
}

bool TMpegConverter::Acceptable(const uint8_t* bytes, TMpegHeader& header) const {
  return TMpegHeader::Decode(bytes, header) && (!fHasReference || header.SameStream(fReference));
}

int64_t TMpegConverter::FindHeader(int64_t from) const {
  const int64_t length = Input.Length();
  const uint8_t* data = Input.Data();
  for (int64_t p = std::max<int64_t>(from, 0); p + TMpegHeader::kSize <= length; ++p) {
    TMpegHeader header;
    if (data[p] != 0xFF || !Acceptable(data + p, header)) continue;
    // A header that the next one already follows in what was read; one
    // whose follower is not read yet is taken on trust.
    const int64_t next = p + header.FrameLength();
    TMpegHeader second;
    if (next + TMpegHeader::kSize > length || (Acceptable(data + next, second) && second.SameStream(header))) return p;
  }
  return -1;
}

void TMpegConverter::DropInput(int64_t at, int64_t count) {
  count = std::min(count, Input.Length() - at);
  if (at < 0 || count <= 0) return;
  const int64_t rest = Input.Length() - at - count;
  std::memmove(Input.Data() + at, Input.Data() + at + count, static_cast<size_t>(rest));
  const int64_t length = Input.Length() - count;
  Input.Clear();
  Input.Commit(length);
  fDropped += count;
}

bool TMpegConverter::Resynchronise() {
  bool refilled = false;
  while (fHeaderAt + TMpegHeader::kSize <= Input.Length()) {
    TMpegHeader header;
    if (Acceptable(Input.Data() + fHeaderAt, header)) {
      if (!fHasReference) {
        fReference = header;
        fHasReference = true;
      }
      fHeaderAt += header.FrameLength();
      continue;
    }
    const int64_t found = FindHeader(fHeaderAt + 1);
    if (found >= 0) {
      DropInput(fHeaderAt, found - fHeaderAt);
      continue;
    }
    // No header in what was read: the last three bytes may start one.
    DropInput(fHeaderAt, Input.Length() - fHeaderAt - (TMpegHeader::kSize - 1));
    if (InputEnded() || !TWavConverter::ReadMore()) break;
    refilled = true;
  }
  return refilled;
}

void TMpegConverter::DecodeLeadIn(double ms) {
  const TWaveFormat& format = Output.Format;
  const int64_t frame = std::max<int64_t>(format.BlockAlign, 1);
  const int64_t bytes = std::llround(ms * format.SamplesPerSec / 1000) * frame;
  // Rounds that only prime the decoder do not count, up to as many again.
  for (int round = 0, priming = 0; round < kLeadInRounds && Output.Length() < bytes;) {
    const bool read = ReadMore();
    Decode(Input);
    if (!read) break;
    if (fPrimingBytes == 0 || ++priming > kLeadInRounds) ++round;
  }
  Output.Consume(std::min(bytes, Output.Length()));
}

void TMpegConverter::Seek(double ms) {
  ClearBuffers();
  fHeaderAt = 0;
  ResetDecoder();
  if (!(ms > 0)) ms = 0;
  const double lead = std::min(kLeadInMs, ms);
  TMpegSeekPoint point{Info().DataOffset, 0, 0};
  TMpegPriming priming;
  priming.Offset = point.Offset;
  if (Stream()) {
    point = SeekMpeg(*Stream(), Info(), ms - lead);
    priming = MpegPriming(*Stream(), Info(), point);
  }
  // Decoding starts with the priming frames, whose samples are dropped
  // before they reach the output.
  SeekData(priming.Offset - Info().DataOffset);
  fPrimingBytes = priming.Samples * fDecodedFormat.BlockAlign;
  if (!priming.LeadFrame.empty()) {
    TLocalBuffer leadFrame;
    leadFrame.AppendBytes(priming.LeadFrame.data(), static_cast<int64_t>(priming.LeadFrame.size()));
    Decode(leadFrame);
  }
  DecodeLeadIn(lead);
  Position = ms - point.Correction;
}

}  // namespace zel
