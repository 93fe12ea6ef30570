#include "audio/ogg_decoder.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>

#include "audio/stream_gate.h"

namespace zel {

namespace {

// ov_read hands out at most one packet's samples per call; this holds the
// largest Vorbis block for a few channels and a common one for many.
constexpr int kReadBytes = 16384;
// Holes (lost pages) are skipped; a stream made of nothing else ends.
constexpr int kMaxHoles = 64;

// The library's stream callbacks: all through the gate's C table, whose
// entries answer -1 rather than raise. Closing does nothing: the stream
// belongs to whoever opened the decoder.
size_t GateRead(void* buffer, size_t size, size_t count, void* stream) {
  if (size == 0 || count == 0) return 0;
  count = std::min<size_t>(count, static_cast<size_t>(TStreamWrapperClass::kMaxReadCount) / size);
  if (count == 0) return 0;
  const int64_t read = StreamFunctions().Read64(stream, buffer, static_cast<int64_t>(count * size));
  if (read < 0) {
    errno = EIO;  // how the library tells a failed read from the end
    return 0;
  }
  return static_cast<size_t>(read) / size;
}

int GateSeek(void* stream, ogg_int64_t offset, int whence) {
  int32_t origin = 0;
  switch (whence) {
    case SEEK_SET: origin = 0; break;
    case SEEK_CUR: origin = 1; break;
    case SEEK_END: origin = 2; break;
    default: return -1;
  }
  return StreamFunctions().Seek64(stream, offset, origin) < 0 ? -1 : 0;
}

long GateTell(void* stream) { return static_cast<long>(StreamFunctions().Position64(stream)); }

constexpr ov_callbacks kGateCallbacks = {GateRead, GateSeek, nullptr, GateTell};

// The 16-bit format of a link, or false when it cannot be described
// (no channels or rate, or more bytes a second than the format holds).
bool LinkFormat(const vorbis_info* info, TWaveFormat& format) {
  if (!info || info->channels <= 0 || info->rate <= 0) return false;
  const uint64_t bytesPerSecond =
      uint64_t{2} * static_cast<uint64_t>(info->channels) * static_cast<uint64_t>(info->rate);
  if (info->channels > std::numeric_limits<uint16_t>::max() / 2 ||
      bytesPerSecond > std::numeric_limits<uint32_t>::max())
    return false;
  format = Pcm16Format(static_cast<uint32_t>(info->rate), static_cast<uint16_t>(info->channels));
  return true;
}

// One opened Vorbis file over a stream, freed with it. Not movable: the
// library's state is kept where it was opened.
class TVorbisFile {
 public:
  TVorbisFile() = default;
  TVorbisFile(const TVorbisFile&) = delete;
  TVorbisFile& operator=(const TVorbisFile&) = delete;
  ~TVorbisFile() {
    if (fOpen) ov_clear(&fFile);
  }

  // From the start of the stream; false when it is not Ogg Vorbis of a
  // format that can be delivered.
  bool Open(TStream& stream) {
    if (StreamWrapper().Seek(stream, 0, 0) != 0) return false;
    // On failure the library has already cleared the file.
    if (ov_open_callbacks(&stream, &fFile, nullptr, 0, kGateCallbacks) != 0) return false;
    fOpen = true;
    return LinkFormat(ov_info(&fFile, -1), fFormat);
  }

  OggVorbis_File* File() { return &fFile; }
  // The first link's format.
  const TWaveFormat& Format() const { return fFormat; }

 private:
  OggVorbis_File fFile{};
  bool fOpen = false;
  TWaveFormat fFormat;
};

class TOggDecoder : public TDllDec::TDecoder {
 public:
  explicit TOggDecoder(TDllDec::TOutput output) : fOutput(std::move(output)) {}

  bool Open(TStream& stream) { return fVorbis.Open(stream); }

  bool Decode() override {
    OggVorbis_File* file = fVorbis.File();
    for (int holes = 0; holes < kMaxHoles; ++holes) {
      int link = 0;
      const long read = ov_read(file, fBuffer.data(), kReadBytes, 0, 2, 1, &link);
      if (read == OV_HOLE) continue;
      if (read <= 0) return false;  // the end, or a stream that cannot go on
      // A chained link of another layout would play as noise in the format
      // the file was opened with: the sound ends there instead.
      if (link != fLink) {
        TWaveFormat format;
        if (!LinkFormat(ov_info(file, link), format) || !(format == fVorbis.Format())) return false;
        fLink = link;
      }
      fOutput(reinterpret_cast<const uint8_t*>(fBuffer.data()), read);
      return true;
    }
    return false;
  }

  bool SetPosition(double ms) override {
    OggVorbis_File* file = fVorbis.File();
    const double total = static_cast<double>(std::max<ogg_int64_t>(ov_pcm_total(file, -1), 0));
    double sample = std::nearbyint(ms * fVorbis.Format().SamplesPerSec / 1000);
    // Not "sample < 0": a NaN time goes to the start too.
    if (!(sample >= 0)) sample = 0;
    sample = std::min(sample, total);
    return ov_pcm_seek(file, static_cast<ogg_int64_t>(sample)) == 0;
  }

 private:
  TDllDec::TOutput fOutput;
  TVorbisFile fVorbis;
  int fLink = 0;
  std::array<char, kReadBytes> fBuffer{};
};

}  // namespace

bool TOggDec::GetMediaInfo(TStream& stream, int32_t& durationMs, int64_t& dataOffset, TWaveFormat& format) {
  TVorbisFile vorbis;
  if (!vorbis.Open(stream)) return false;
  const double seconds = ov_time_total(vorbis.File(), -1);
  const double ms = seconds > 0 ? std::nearbyint(seconds * 1000) : 0;
  constexpr double kMax = std::numeric_limits<int32_t>::max();
  durationMs = ms >= kMax ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(ms);
  dataOffset = 0;
  format = vorbis.Format();
  return true;
}

std::unique_ptr<TDllDec::TDecoder> TOggDec::CreateDecoder(TStream& stream, TOutput output) {
  auto decoder = std::make_unique<TOggDecoder>(std::move(output));
  if (!decoder->Open(stream)) return nullptr;
  return decoder;
}

void RegisterOggDecoder() { SetDllDec(TMediaKind::Ogg, std::make_shared<TOggDec>()); }

}  // namespace zel
