#include "video/ffmpeg/media_library.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <mutex>

#include "audio/stream_gate.h"
#include "core/log.h"
#include "core/sync.h"
#include "video/ffmpeg/ffmpeg_support.h"

namespace zel {

// ---------------------------------------------------------------------------
// The names table: FFmpeg's names for containers, codecs and pixel formats
// and ours.

namespace {

struct TContainerName {
  std::string_view FormatName;
  TContainer Container;
};

constexpr TContainerName kContainerNames[] = {
    {"avi", TContainer::Avi},       {"matroska,webm", TContainer::Matroska},
    {"mov,mp4,m4a,3gp,3g2,mj2", TContainer::Mov}, {"mpeg", TContainer::Mpeg},
    {"mpegvideo", TContainer::Mpeg}, {"flv", TContainer::Flv},
    {"mpegts", TContainer::MpegTs}, {"asf", TContainer::Asf},
};

struct TCodecName {
  AVCodecID FFmpeg;
  TVideoCodec Codec;
};

// The early list's MPEG-2 XvMC and Xvid entries have no FFmpeg identifier
// of their own any more (Xvid streams decode as MPEG-4 Visual).
constexpr TCodecName kCodecNames[] = {
    {AV_CODEC_ID_NONE, TVideoCodec::None},
    {AV_CODEC_ID_MPEG1VIDEO, TVideoCodec::Mpeg1Video},
    {AV_CODEC_ID_MPEG2VIDEO, TVideoCodec::Mpeg2Video},
    {AV_CODEC_ID_H261, TVideoCodec::H261},
    {AV_CODEC_ID_H263, TVideoCodec::H263},
    {AV_CODEC_ID_RV10, TVideoCodec::Rv10},
    {AV_CODEC_ID_RV20, TVideoCodec::Rv20},
    {AV_CODEC_ID_MJPEG, TVideoCodec::Mjpeg},
    {AV_CODEC_ID_MJPEGB, TVideoCodec::MjpegB},
    {AV_CODEC_ID_LJPEG, TVideoCodec::Ljpeg},
    {AV_CODEC_ID_SP5X, TVideoCodec::Sp5x},
    {AV_CODEC_ID_JPEGLS, TVideoCodec::JpegLs},
    {AV_CODEC_ID_MPEG4, TVideoCodec::Mpeg4},
    {AV_CODEC_ID_RAWVIDEO, TVideoCodec::RawVideo},
    {AV_CODEC_ID_MSMPEG4V1, TVideoCodec::MsMpeg4V1},
    {AV_CODEC_ID_MSMPEG4V2, TVideoCodec::MsMpeg4V2},
    {AV_CODEC_ID_MSMPEG4V3, TVideoCodec::MsMpeg4V3},
    {AV_CODEC_ID_WMV1, TVideoCodec::Wmv1},
    {AV_CODEC_ID_WMV2, TVideoCodec::Wmv2},
    {AV_CODEC_ID_H263P, TVideoCodec::H263P},
    {AV_CODEC_ID_H263I, TVideoCodec::H263I},
    {AV_CODEC_ID_FLV1, TVideoCodec::Flv1},
    {AV_CODEC_ID_SVQ1, TVideoCodec::Svq1},
    {AV_CODEC_ID_SVQ3, TVideoCodec::Svq3},
    {AV_CODEC_ID_DVVIDEO, TVideoCodec::DvVideo},
    {AV_CODEC_ID_HUFFYUV, TVideoCodec::HuffYuv},
    {AV_CODEC_ID_CYUV, TVideoCodec::Cyuv},
    {AV_CODEC_ID_H264, TVideoCodec::H264},
    {AV_CODEC_ID_INDEO3, TVideoCodec::Indeo3},
    {AV_CODEC_ID_VP3, TVideoCodec::Vp3},
    {AV_CODEC_ID_THEORA, TVideoCodec::Theora},
    {AV_CODEC_ID_ASV1, TVideoCodec::Asv1},
    {AV_CODEC_ID_ASV2, TVideoCodec::Asv2},
    {AV_CODEC_ID_FFV1, TVideoCodec::Ffv1},
    {AV_CODEC_ID_4XM, TVideoCodec::FourXm},
    {AV_CODEC_ID_VCR1, TVideoCodec::Vcr1},
    {AV_CODEC_ID_CLJR, TVideoCodec::Cljr},
    {AV_CODEC_ID_MDEC, TVideoCodec::Mdec},
    {AV_CODEC_ID_ROQ, TVideoCodec::Roq},
    {AV_CODEC_ID_INTERPLAY_VIDEO, TVideoCodec::InterplayVideo},
    {AV_CODEC_ID_XAN_WC3, TVideoCodec::XanWc3},
    {AV_CODEC_ID_XAN_WC4, TVideoCodec::XanWc4},
    {AV_CODEC_ID_RPZA, TVideoCodec::Rpza},
    {AV_CODEC_ID_CINEPAK, TVideoCodec::Cinepak},
    {AV_CODEC_ID_WS_VQA, TVideoCodec::WsVqa},
    {AV_CODEC_ID_MSRLE, TVideoCodec::MsRle},
    {AV_CODEC_ID_MSVIDEO1, TVideoCodec::MsVideo1},
    {AV_CODEC_ID_IDCIN, TVideoCodec::Idcin},
    {AV_CODEC_ID_8BPS, TVideoCodec::EightBps},
    {AV_CODEC_ID_SMC, TVideoCodec::Smc},
    {AV_CODEC_ID_FLIC, TVideoCodec::Flic},
    {AV_CODEC_ID_TRUEMOTION1, TVideoCodec::TrueMotion1},
    {AV_CODEC_ID_VMDVIDEO, TVideoCodec::VmdVideo},
    {AV_CODEC_ID_MSZH, TVideoCodec::Mszh},
    {AV_CODEC_ID_ZLIB, TVideoCodec::Zlib},
    {AV_CODEC_ID_QTRLE, TVideoCodec::QtRle},
    {AV_CODEC_ID_SNOW, TVideoCodec::Snow},
    {AV_CODEC_ID_TSCC, TVideoCodec::Tscc},
    {AV_CODEC_ID_ULTI, TVideoCodec::Ulti},
    {AV_CODEC_ID_QDRAW, TVideoCodec::Qdraw},
    {AV_CODEC_ID_VIXL, TVideoCodec::Vixl},
    {AV_CODEC_ID_QPEG, TVideoCodec::Qpeg},
    {AV_CODEC_ID_PNG, TVideoCodec::Png},
    {AV_CODEC_ID_PPM, TVideoCodec::Ppm},
    {AV_CODEC_ID_PBM, TVideoCodec::Pbm},
    {AV_CODEC_ID_PGM, TVideoCodec::Pgm},
    {AV_CODEC_ID_PGMYUV, TVideoCodec::PgmYuv},
    {AV_CODEC_ID_PAM, TVideoCodec::Pam},
    {AV_CODEC_ID_FFVHUFF, TVideoCodec::FfvHuff},
    {AV_CODEC_ID_RV30, TVideoCodec::Rv30},
    {AV_CODEC_ID_RV40, TVideoCodec::Rv40},
    {AV_CODEC_ID_VC1, TVideoCodec::Vc1},
    {AV_CODEC_ID_WMV3, TVideoCodec::Wmv3},
    {AV_CODEC_ID_LOCO, TVideoCodec::Loco},
    {AV_CODEC_ID_WNV1, TVideoCodec::Wnv1},
    {AV_CODEC_ID_AASC, TVideoCodec::Aasc},
    {AV_CODEC_ID_INDEO2, TVideoCodec::Indeo2},
    {AV_CODEC_ID_FRAPS, TVideoCodec::Fraps},
    {AV_CODEC_ID_TRUEMOTION2, TVideoCodec::TrueMotion2},
    {AV_CODEC_ID_BMP, TVideoCodec::Bmp},
    {AV_CODEC_ID_CSCD, TVideoCodec::Cscd},
    {AV_CODEC_ID_MMVIDEO, TVideoCodec::MmVideo},
    {AV_CODEC_ID_ZMBV, TVideoCodec::Zmbv},
    {AV_CODEC_ID_AVS, TVideoCodec::Avs},
    {AV_CODEC_ID_SMACKVIDEO, TVideoCodec::SmackVideo},
    {AV_CODEC_ID_NUV, TVideoCodec::Nuv},
    {AV_CODEC_ID_KMVC, TVideoCodec::Kmvc},
    {AV_CODEC_ID_FLASHSV, TVideoCodec::FlashSv},
    {AV_CODEC_ID_CAVS, TVideoCodec::Cavs},
    {AV_CODEC_ID_JPEG2000, TVideoCodec::Jpeg2000},
    {AV_CODEC_ID_VMNC, TVideoCodec::Vmnc},
    {AV_CODEC_ID_VP5, TVideoCodec::Vp5},
    {AV_CODEC_ID_VP6, TVideoCodec::Vp6},
    {AV_CODEC_ID_VP6F, TVideoCodec::Vp6F},
    {AV_CODEC_ID_TARGA, TVideoCodec::Targa},
    {AV_CODEC_ID_DSICINVIDEO, TVideoCodec::DsicinVideo},
    {AV_CODEC_ID_TIERTEXSEQVIDEO, TVideoCodec::TiertexSeqVideo},
    {AV_CODEC_ID_TIFF, TVideoCodec::Tiff},
    {AV_CODEC_ID_GIF, TVideoCodec::Gif},
};

struct TPixelFormatName {
  AVPixelFormat FFmpeg;
  TMediaPixelFormat Format;
};

constexpr TPixelFormatName kPixelFormatNames[] = {
    {AV_PIX_FMT_YUV420P, TMediaPixelFormat::Yuv420P},
    {AV_PIX_FMT_RGB24, TMediaPixelFormat::Rgb24},
    {AV_PIX_FMT_BGRA, TMediaPixelFormat::Bgra},
    {AV_PIX_FMT_BGRA, TMediaPixelFormat::Rgb32},
};

}  // namespace

TContainer ContainerFromFormatName(std::string_view formatName) {
  for (const auto& entry : kContainerNames) {
    if (entry.FormatName == formatName) return entry.Container;
  }
  return TContainer::Other;
}

TVideoCodec VideoCodecFromFFmpeg(int32_t codecId) {
  for (const auto& entry : kCodecNames) {
    if (entry.FFmpeg == codecId) return entry.Codec;
  }
  return static_cast<TVideoCodec>(kOtherCodecBase + codecId);
}

TMediaPixelFormat PixelFormatFromFFmpeg(int32_t pixelFormat) {
  // The first entry for a format is the one reported.
  for (const auto& entry : kPixelFormatNames) {
    if (entry.FFmpeg == pixelFormat) return entry.Format;
  }
  return static_cast<TMediaPixelFormat>(kOtherPixelFormatBase + pixelFormat);
}

int32_t FFmpegPixelFormat(TMediaPixelFormat format) {
  for (const auto& entry : kPixelFormatNames) {
    if (entry.Format == format) return entry.FFmpeg;
  }
  const int32_t other = static_cast<int32_t>(format) - kOtherPixelFormatBase;
  if (other >= 0 && other < AV_PIX_FMT_NB) return other;
  return AV_PIX_FMT_NONE;
}

// ---------------------------------------------------------------------------
// The rules.

namespace {

constexpr TRational kFilm{24000, 1001};
constexpr TRational kNtsc{30000, 1001};

bool Near(double a, TRational b) { return std::fabs(a - b.Value()) <= 0.001; }

// A double rounded into the int64 range (NaN gives 0).
int64_t RoundToInt64(double value) {
  if (!(value == value)) return 0;
  constexpr double kLimit = 9.2e18;
  return std::llround(std::clamp(value, -kLimit, kLimit));
}

// Codecs whose stated rate is taken as it is, whatever it says.
bool TrustsStatedRate(const TFrameRateFacts& facts, double reported) {
  const TVideoCodec codec = facts.Codec;
  if (codec != TVideoCodec::Mpeg2Video &&
      (reported > 100 || codec == TVideoCodec::MsMpeg4V1 || codec == TVideoCodec::MsMpeg4V2 ||
       codec == TVideoCodec::MsMpeg4V3 || codec == TVideoCodec::MsVideo1)) {
    return true;
  }
  if (facts.Container == TContainer::Avi && codec == TVideoCodec::Mpeg4) return true;
  return facts.Container == TContainer::MpegTs && codec == TVideoCodec::H264 && facts.Stream.Value() >= 50;
}

}  // namespace

TRational CorrectedFrameRate(const TFrameRateFacts& facts) {
  const double reported = facts.Reported.Value();
  if (TrustsStatedRate(facts, reported)) return facts.Reported;
  for (const TRational ntsc : {kFilm, kNtsc}) {
    if (Near(reported, ntsc)) return ntsc;
  }
  const int64_t ticks = facts.TicksPerFrame > 0 ? facts.TicksPerFrame : 1;
  const double stream = facts.Stream.Value() / static_cast<double>(ticks);
  for (const TRational ntsc : {kFilm, kNtsc}) {
    if (Near(stream, ntsc)) return ntsc;
  }
  const bool mpegLike = facts.Container == TContainer::Mpeg || facts.Container == TContainer::Flv ||
                        facts.Container == TContainer::MpegTs;
  if (mpegLike && facts.Stream.Num > 0 && facts.Stream.Den > 0 && stream <= 130) {
    int num = 0, den = 0;
    av_reduce(&num, &den, facts.Stream.Num, int64_t{facts.Stream.Den} * ticks, INT32_MAX);
    if (den > 0) return {num, den};
  }
  return facts.Reported;
}

int64_t FrameCountOf(int64_t durationUs, TRational rate) {
  if (rate.Den <= 0 || rate.Num <= 0 || durationUs <= 0 || durationUs == kNoTimestamp) return 0;
  return RoundToInt64(static_cast<double>(durationUs) / rate.Den * rate.Num / 1000000.0);
}

int32_t FrameIndexOf(int64_t timestamp, TRational timeBase, int64_t startUs, TRational rate) {
  if (timestamp == kNoTimestamp || timeBase.Den <= 0 || rate.Den <= 0) return -1;
  double us = static_cast<double>(timestamp) / timeBase.Den * timeBase.Num * 1000000.0;
  if (startUs != kNoTimestamp) us -= static_cast<double>(startUs);
  const double index = std::nearbyint(us / 1000000.0 * rate.Num / rate.Den);
  if (!(index > 0)) return 0;
  return index >= INT32_MAX ? INT32_MAX : static_cast<int32_t>(index);
}

int64_t FrameTimestamp(int64_t index, TRational rate, TRational timeBase, int64_t startUs, TContainer container) {
  if (rate.Num == 0 || timeBase.Num == 0) return kNoTimestamp;
  double us = static_cast<double>(index) * rate.Den / rate.Num * 1000000.0;
  if (startUs != kNoTimestamp && container != TContainer::MpegTs) us += static_cast<double>(startUs);
  return RoundToInt64(us / 1000000.0 / timeBase.Num * timeBase.Den);
}

int64_t AudioTimestamp(double ms, int64_t startUs, TContainer container, TRational audioTimeBase, int64_t* us) {
  double micro = ms * 1000.0;
  if (startUs != kNoTimestamp && container != TContainer::MpegTs) micro += static_cast<double>(startUs);
  if (us) *us = RoundToInt64(micro);
  if (audioTimeBase.Num == 0) return kNoTimestamp;
  return RoundToInt64(micro / 1000000.0 / audioTimeBase.Num * audioTimeBase.Den);
}

TDisplayAspect DisplayAspectOf(int32_t width, int32_t height, TRational sampleAspect) {
  if (width == 1440 && height == 1080 && sampleAspect.Num == 0 && sampleAspect.Den == 1) return TDisplayAspect::Wide;
  if (sampleAspect.Num > 0 && sampleAspect.Den > 0 && width > 0 && height > 0) {
    int num = 0, den = 0;
    av_reduce(&num, &den, int64_t{width} * sampleAspect.Num, int64_t{height} * sampleAspect.Den, 1048576);
    const double aspect = den > 0 ? static_cast<double>(num) / den : 0;
    if (std::fabs(aspect - 16.0 / 9.0) <= 0.001) return TDisplayAspect::Wide;
    if (std::fabs(aspect - 4.0 / 3.0) <= 0.001) return TDisplayAspect::Standard;
  }
  // The sample aspects of standard-definition pictures, by numerator.
  switch (sampleAspect.Num) {
    case 8: case 10: case 16: case 59: case 256: return TDisplayAspect::Standard;
    case 32: case 40: case 64: case 118: return TDisplayAspect::Wide;
    default: return TDisplayAspect::Unknown;
  }
}

std::optional<TInterlace> InterlaceFromTag(std::string_view tag) {
  if (tag == "Orvane_ITFA") return TInterlace{true, true};
  if (tag == "Orvane_ITFB") return TInterlace{true, false};
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// FFmpeg's side of an open file: the demuxer over the stream, the decoders,
// the packets read ahead, and the converters. Each handle serves one
// consumer (a video source or a sound decoder): taking a packet of one
// stream drops the packets of other streams read before it.

namespace {

constexpr int kIoBufferSize = 32768;
// Packets read ahead while looking for one of a stream.
constexpr size_t kMaxQueuedPackets = 1024;
constexpr int64_t kDefaultMaxPixels = int64_t{8192} * 8192;

struct TLimitsSlot {
  TCriticalSection Lock;
  TFFMpegDll::TLimits Limits;
};

TLimitsSlot& LimitsSlot() {
  static TLimitsSlot slot;
  return slot;
}

TFFMpegDll::TLimits CurrentLimits() {
  std::lock_guard lock(LimitsSlot().Lock);
  return LimitsSlot().Limits;
}

TRational ToRational(AVRational r) { return {r.num, r.den}; }

// The largest picture decoded or converted.
int64_t MaxPixels() {
  const int64_t limit = CurrentLimits().MaxPixels;
  return limit > 0 ? limit : kDefaultMaxPixels;
}

// Time stamp sums and differences that stop at the ends of the range
// instead of overflowing (a file may state any value), never reaching the
// "none" value.
int64_t AddTime(int64_t a, int64_t b) {
  int64_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? INT64_MAX : kNoTimestamp + 1;
  return std::max(sum, kNoTimestamp + 1);
}
int64_t SubTime(int64_t a, int64_t b) {
  int64_t difference = 0;
  if (__builtin_sub_overflow(a, b, &difference)) return b < 0 ? INT64_MAX : kNoTimestamp + 1;
  return std::max(difference, kNoTimestamp + 1);
}

// Nested files (playlists, image sequences, references) are never opened:
// a show's media is one stream.
int RefuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

}  // namespace

class TMediaLibraryState {
 public:
  explicit TMediaLibraryState(TStream& stream) : fStream(stream) {}
  ~TMediaLibraryState();
  TMediaLibraryState(const TMediaLibraryState&) = delete;
  TMediaLibraryState& operator=(const TMediaLibraryState&) = delete;

  bool Open(const std::string& name);
  void Describe(TMediaHandle& handle) const;
  AVFormatContext* Format() const { return fFormat; }
  int AudioStreamAt(int32_t number) const {
    return number >= 0 && number < static_cast<int32_t>(fAudioStreams.size()) ? fAudioStreams[number] : -1;
  }
  bool OpenAudioDecoder(int index);
  void CloseAudioDecoder();
  void MeasureAudioLag();
  void SetAudioOutput(int rate, int channels);

  // The library's operations.
  int SeekFile(int stream, int64_t timestamp, bool backward);
  int64_t CurrentPts(int stream);
  int64_t RescaleBetween(int64_t timestamp, int from, int to) const;
  void FlushVideo();
  void FlushAudio();
  void SetAudioTarget(int64_t timestamp) { fAudioTarget = timestamp; }
  bool AfterAudioSeek(bool advance);
  bool NextVideoFrame(AVFrame* frame, int64_t& pts);
  int64_t NextAudioFrame(std::vector<uint8_t>& buffer);
  SwsContext*& Scaler() { return fScaler; }

 private:
  static int ReadCallback(void* opaque, uint8_t* buffer, int size);
  static int64_t SeekCallback(void* opaque, int64_t offset, int whence);
  void ReportStreamFailure(const char* what) noexcept;
  bool OpenVideoDecoder();
  bool Wanted(int stream) const { return stream >= 0 && (stream == fVideoIndex || stream == fAudioIndex); }
  bool ReadPacket();
  AVPacket* Peek(int stream, size_t nth);
  AVPacket* Take(int stream);
  void ClearQueue();
  int64_t Offset(int stream) const;
  int64_t PacketTime(const AVPacket* packet) const;
  int64_t FrameTime(const AVFrame* frame, int stream) const;
  int SeekAt(int stream, int64_t timestamp, bool backward);
  void SeekToStart(int stream);
  bool GoodLanding(int stream, int64_t timestamp);
  void AfterSeek();
  bool ReceiveAudio(AVFrame* frame);
  int SamplesBeforeTarget(const AVFrame* frame);
  bool PrepareResampler(const AVFrame* frame);
  int64_t ConvertAudio(const AVFrame* frame, std::vector<uint8_t>& buffer);
  int64_t DrainResampler(std::vector<uint8_t>& buffer);

  TStream& fStream;
  bool fStreamFailed = false;
  AVFormatContext* fFormat = nullptr;
  AVIOContext* fIo = nullptr;
  int fVideoIndex = -1;
  int fAudioIndex = -1;
  std::vector<int> fAudioStreams;
  // Transport streams count time from their first time stamp (µs).
  int64_t fZeroUs = 0;
  AVCodecContext* fVideo = nullptr;
  AVCodecContext* fAudio = nullptr;
  std::deque<AVPacket*> fQueue;
  bool fInputEnded = false;
  bool fVideoDraining = false;
  bool fAudioDraining = false;
  bool fAudioEnded = false;
  int64_t fLastVideoPts = kNoTimestamp;
  // Decoded audio before this time stamp is dropped (after a seek).
  int64_t fAudioTarget = kNoTimestamp;
  AVFrame* fAudioFrame = nullptr;
  // A frame decoded ahead (by MeasureAudioLag), delivered first.
  AVFrame* fPendingAudio = nullptr;
  // How far the time stamps of decoded audio frames run ahead of their
  // sound (audio time base units): some decoders stamp a frame with the
  // time of the packet that completed it.
  int64_t fAudioLag = 0;
  SwrContext* fResampler = nullptr;
  AVChannelLayout fResamplerIn{};
  int fResamplerInRate = 0;
  int fResamplerInFormat = -1;
  int fOutRate = 0;
  int fOutChannels = 0;
  SwsContext* fScaler = nullptr;
};

TMediaLibraryState::~TMediaLibraryState() {
  ClearQueue();
  avcodec_free_context(&fVideo);
  CloseAudioDecoder();
  av_frame_free(&fAudioFrame);
  sws_freeContext(fScaler);
  avformat_close_input(&fFormat);
  if (fIo) {
    av_freep(&fIo->buffer);
    avio_context_free(&fIo);
  }
}

void TMediaLibraryState::ReportStreamFailure(const char* what) noexcept {
  if (fStreamFailed) return;
  fStreamFailed = true;
  try {
    Log().Write(std::string("Media library: stream access failed: ") + what);
  } catch (...) {
    // Nothing more can be said.
  }
}

// The stream callbacks never raise into FFmpeg: a failure is an I/O error.
int TMediaLibraryState::ReadCallback(void* opaque, uint8_t* buffer, int size) {
  auto* self = static_cast<TMediaLibraryState*>(opaque);
  try {
    const int32_t got = StreamWrapper().Read(self->fStream, buffer, size);
    return got > 0 ? got : AVERROR_EOF;
  } catch (const std::exception& error) {
    self->ReportStreamFailure(error.what());
  } catch (...) {
    self->ReportStreamFailure("unknown error");
  }
  return AVERROR(EIO);
}

int64_t TMediaLibraryState::SeekCallback(void* opaque, int64_t offset, int whence) {
  auto* self = static_cast<TMediaLibraryState*>(opaque);
  try {
    if (whence & AVSEEK_SIZE) {
      const int64_t size = StreamWrapper().Size(self->fStream);
      return size >= 0 ? size : AVERROR(ENOSYS);
    }
    switch (whence & ~AVSEEK_FORCE) {
      case SEEK_SET: return StreamWrapper().Seek(self->fStream, offset, 0);
      case SEEK_CUR: return StreamWrapper().Seek(self->fStream, offset, 1);
      case SEEK_END: return StreamWrapper().Seek(self->fStream, offset, 2);
      default: return AVERROR(EINVAL);
    }
  } catch (const std::exception& error) {
    self->ReportStreamFailure(error.what());
  } catch (...) {
    self->ReportStreamFailure("unknown error");
  }
  return AVERROR(EIO);
}

bool TMediaLibraryState::Open(const std::string& name) {
  auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
  if (!buffer) return false;
  fIo = avio_alloc_context(buffer, kIoBufferSize, 0, this, ReadCallback, nullptr, SeekCallback);
  if (!fIo) {
    av_free(buffer);
    return false;
  }
  fFormat = avformat_alloc_context();
  if (!fFormat) return false;
  fFormat->pb = fIo;
  fFormat->io_open = RefuseNestedOpen;
  const TFFMpegDll::TLimits limits = CurrentLimits();
  if (limits.ProbeBytes > 0) fFormat->probesize = limits.ProbeBytes;
  if (limits.AnalyzeUs > 0) fFormat->max_analyze_duration = limits.AnalyzeUs;
  // On failure FFmpeg frees the context (not our I/O context).
  if (avformat_open_input(&fFormat, name.c_str(), nullptr, nullptr) < 0) return false;
  if (avformat_find_stream_info(fFormat, nullptr) < 0) return false;
  for (unsigned i = 0; i < fFormat->nb_streams; ++i) {
    const AVStream* stream = fFormat->streams[i];
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) fAudioStreams.push_back(static_cast<int>(i));
  }
  // Cover pictures of sound files are not video.
  const int video = av_find_best_stream(fFormat, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (video >= 0 && !(fFormat->streams[video]->disposition & AV_DISPOSITION_ATTACHED_PIC)) fVideoIndex = video;
  if (fVideoIndex >= 0 && !OpenVideoDecoder()) {
    avcodec_free_context(&fVideo);
    fVideoIndex = -1;
  }
  if (ContainerFromFormatName(fFormat->iformat->name) == TContainer::MpegTs && fFormat->start_time != AV_NOPTS_VALUE) {
    fZeroUs = fFormat->start_time;
  }
  fAudioFrame = av_frame_alloc();
  return fAudioFrame && (fVideoIndex >= 0 || !fAudioStreams.empty());
}

bool TMediaLibraryState::OpenVideoDecoder() {
  const AVStream* stream = fFormat->streams[fVideoIndex];
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) return false;
  fVideo = avcodec_alloc_context3(codec);
  if (!fVideo || avcodec_parameters_to_context(fVideo, stream->codecpar) < 0) return false;
  fVideo->max_pixels = MaxPixels();
  fVideo->pkt_timebase = stream->time_base;
  return avcodec_open2(fVideo, codec, nullptr) >= 0;
}

bool TMediaLibraryState::OpenAudioDecoder(int index) {
  CloseAudioDecoder();
  if (index < 0) return false;
  const AVStream* stream = fFormat->streams[index];
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) return false;
  fAudio = avcodec_alloc_context3(codec);
  bool ready = fAudio && avcodec_parameters_to_context(fAudio, stream->codecpar) >= 0;
  if (ready) {
    fAudio->pkt_timebase = stream->time_base;
    ready = avcodec_open2(fAudio, codec, nullptr) >= 0;
  }
  if (!ready) {
    avcodec_free_context(&fAudio);
    return false;
  }
  fAudioIndex = index;
  fOutRate = fAudio->sample_rate;
  fOutChannels = fAudio->ch_layout.nb_channels;
  return fOutRate > 0 && fOutChannels > 0;
}

void TMediaLibraryState::CloseAudioDecoder() {
  avcodec_free_context(&fAudio);
  swr_free(&fResampler);
  av_channel_layout_uninit(&fResamplerIn);
  if (fAudioFrame) av_frame_unref(fAudioFrame);
  av_frame_free(&fPendingAudio);
  fAudioIndex = -1;
  fAudioLag = 0;
  fAudioTarget = kNoTimestamp;
  fAudioDraining = fAudioEnded = false;
}

// Decodes the stream's first frame (the stream is at its start) and keeps
// it for delivery: how far its time stamp lies past the stream's start is
// the decoder's lag.
void TMediaLibraryState::MeasureAudioLag() {
  fAudioLag = 0;
  av_frame_free(&fPendingAudio);
  if (!fAudio || !ReceiveAudio(fAudioFrame)) return;
  const AVStream* stream = fFormat->streams[fAudioIndex];
  const int64_t first = FrameTime(fAudioFrame, fAudioIndex);
  const int64_t start = stream->start_time == AV_NOPTS_VALUE ? 0 : SubTime(stream->start_time, Offset(fAudioIndex));
  // At most a second: beyond that the stream simply starts late.
  const int64_t second = av_rescale_q(1, AVRational{1, 1}, stream->time_base);
  if (first != kNoTimestamp && first > start && first - start <= second) fAudioLag = first - start;
  fPendingAudio = av_frame_alloc();
  if (fPendingAudio) av_frame_move_ref(fPendingAudio, fAudioFrame);
}

void TMediaLibraryState::SetAudioOutput(int rate, int channels) {
  if (rate > 0) fOutRate = rate;
  if (channels > 0) fOutChannels = channels;
  swr_free(&fResampler);
}

void TMediaLibraryState::Describe(TMediaHandle& handle) const {
  handle.VideoStream = fVideoIndex;
  handle.AudioStreamCount = static_cast<int32_t>(fAudioStreams.size());
  handle.AudioStream = fAudioStreams.empty() ? -1 : fAudioStreams.front();
  if (handle.AudioStream >= 0) handle.AudioTimeBase = ToRational(fFormat->streams[handle.AudioStream]->time_base);
  const int64_t start = fFormat->start_time;
  handle.StartTime = start == AV_NOPTS_VALUE ? kNoTimestamp : start - fZeroUs;
  handle.Duration = fFormat->duration != AV_NOPTS_VALUE && fFormat->duration > 0 ? fFormat->duration : 0;
  for (unsigned i = 0; i < fFormat->nb_streams && handle.Duration == 0; ++i) {
    const AVStream* stream = fFormat->streams[i];
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
      handle.Duration = std::max<int64_t>(av_rescale_q(stream->duration, stream->time_base, AV_TIME_BASE_Q), 0);
    }
  }
  if (const AVDictionaryEntry* comment = av_dict_get(fFormat->metadata, "comment", nullptr, 0)) {
    handle.Tag = comment->value;
  }
  if (fVideoIndex < 0) return;
  const AVStream* stream = fFormat->streams[fVideoIndex];
  const AVCodecParameters* parameters = stream->codecpar;
  handle.Codec = VideoCodecFromFFmpeg(parameters->codec_id);
  handle.Width = parameters->width;
  handle.Height = parameters->height;
  AVRational aspect = stream->sample_aspect_ratio.num > 0 ? stream->sample_aspect_ratio : parameters->sample_aspect_ratio;
  if (aspect.num <= 0 || aspect.den <= 0) aspect = {0, 1};
  handle.SampleAspect = ToRational(aspect);
  handle.PixelFormat = PixelFormatFromFFmpeg(parameters->format);
  handle.TimeBase = ToRational(stream->time_base);
  const AVRational stated = stream->avg_frame_rate.num > 0 && stream->avg_frame_rate.den > 0 ? stream->avg_frame_rate
                                                                                              : stream->r_frame_rate;
  handle.FrameRate = ToRational(stated);
  // The tick rate: fields for codecs that count two ticks a frame.
  handle.TicksPerFrame = std::max(fVideo->ticks_per_frame, 1);
  int num = 0, den = 0;
  if (stream->r_frame_rate.num > 0 && stream->r_frame_rate.den > 0) {
    av_reduce(&num, &den, int64_t{stream->r_frame_rate.num} * handle.TicksPerFrame, stream->r_frame_rate.den,
              INT32_MAX);
  }
  handle.StreamRate = {num, den};
}

// ---------------------------------------------------------------------------
// Packets.

void TMediaLibraryState::ClearQueue() {
  for (AVPacket* packet : fQueue) av_packet_free(&packet);
  fQueue.clear();
}

bool TMediaLibraryState::ReadPacket() {
  if (fInputEnded) return false;
  AVPacket* packet = av_packet_alloc();
  if (!packet) return false;
  for (int retries = 0;;) {
    const int result = av_read_frame(fFormat, packet);
    if (result == AVERROR(EAGAIN) && ++retries < 100) continue;
    if (result < 0) break;
    if (Wanted(packet->stream_index)) {
      fQueue.push_back(packet);
      return true;
    }
    av_packet_unref(packet);
  }
  fInputEnded = true;
  av_packet_free(&packet);
  return false;
}

AVPacket* TMediaLibraryState::Peek(int stream, size_t nth) {
  size_t seen = 0, scanned = 0;
  for (;;) {
    for (; scanned < fQueue.size(); ++scanned) {
      if (fQueue[scanned]->stream_index == stream && seen++ == nth) return fQueue[scanned];
    }
    if (fQueue.size() >= kMaxQueuedPackets || !ReadPacket()) return nullptr;
  }
}

AVPacket* TMediaLibraryState::Take(int stream) {
  if (!Peek(stream, 0)) {
    // The end: nothing of this stream is coming.
    ClearQueue();
    return nullptr;
  }
  for (;;) {
    AVPacket* packet = fQueue.front();
    fQueue.pop_front();
    if (packet->stream_index == stream) return packet;
    av_packet_free(&packet);
  }
}

int64_t TMediaLibraryState::Offset(int stream) const {
  if (fZeroUs == 0) return 0;
  if (stream < 0) return fZeroUs;
  return av_rescale_q(fZeroUs, AV_TIME_BASE_Q, fFormat->streams[stream]->time_base);
}

int64_t TMediaLibraryState::PacketTime(const AVPacket* packet) const {
  const int64_t time = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
  return time == AV_NOPTS_VALUE ? kNoTimestamp : SubTime(time, Offset(packet->stream_index));
}

int64_t TMediaLibraryState::FrameTime(const AVFrame* frame, int stream) const {
  const int64_t time = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
  return time == AV_NOPTS_VALUE ? kNoTimestamp : SubTime(time, Offset(stream));
}

int64_t TMediaLibraryState::CurrentPts(int stream) {
  if (stream < 0 || static_cast<unsigned>(stream) >= fFormat->nb_streams) return kNoTimestamp;
  const AVPacket* packet = Peek(stream, 0);
  return packet ? PacketTime(packet) : kNoTimestamp;
}

int64_t TMediaLibraryState::RescaleBetween(int64_t timestamp, int from, int to) const {
  if (timestamp == kNoTimestamp || from == to) return timestamp;
  return av_rescale_q(timestamp, fFormat->streams[from]->time_base, fFormat->streams[to]->time_base);
}

// A backward seek that lands after the time stamp or, for video, not on a
// key frame (demuxers that search by time stamps, as MPEG transport
// streams) tries again further back, and at last from the start.
int TMediaLibraryState::SeekFile(int stream, int64_t timestamp, bool backward) {
  if (timestamp == kNoTimestamp) return AVERROR(EINVAL);
  if (stream >= 0 && static_cast<unsigned>(stream) >= fFormat->nb_streams) return AVERROR(EINVAL);
  const int result = SeekAt(stream, timestamp, backward);
  if (result < 0 || !backward || stream < 0) return result;
  const AVRational base = fFormat->streams[stream]->time_base;
  const int64_t second = base.num > 0 ? av_rescale_q(1, AVRational{1, 1}, base) : 1;
  for (int retry = 0; retry < 4 && !GoodLanding(stream, timestamp); ++retry) {
    const int64_t landed = CurrentPts(stream);
    const int64_t step = std::max(landed != kNoTimestamp ? SubTime(landed, timestamp) : 0, std::max<int64_t>(second, 1));
    const int64_t back = step > (INT64_MAX >> 4) ? INT64_MAX : step << retry;
    if (SeekAt(stream, SubTime(timestamp, back), true) < 0) break;
  }
  if (!GoodLanding(stream, timestamp)) SeekToStart(stream);
  return result;
}

// Whether the stream's next packet starts at or before the time stamp;
// video packets before the next key frame are dropped first.
bool TMediaLibraryState::GoodLanding(int stream, int64_t timestamp) {
  for (;;) {
    const AVPacket* packet = Peek(stream, 0);
    if (!packet) return false;
    const int64_t landed = PacketTime(packet);
    if (landed != kNoTimestamp && landed > timestamp) return false;
    if (stream != fVideoIndex || (packet->flags & AV_PKT_FLAG_KEY)) return true;
    AVPacket* skipped = Take(stream);
    av_packet_free(&skipped);
  }
}

void TMediaLibraryState::SeekToStart(int stream) {
  if (!(fFormat->iformat->flags & AVFMT_NO_BYTE_SEEK) && av_seek_frame(fFormat, -1, 0, AVSEEK_FLAG_BYTE) >= 0) {
    AfterSeek();
    return;
  }
  const AVStream* st = fFormat->streams[stream];
  SeekAt(stream, st->start_time == AV_NOPTS_VALUE ? 0 : SubTime(st->start_time, Offset(stream)), true);
}

int TMediaLibraryState::SeekAt(int stream, int64_t timestamp, bool backward) {
  const int result = av_seek_frame(fFormat, stream, AddTime(timestamp, Offset(stream)), backward ? AVSEEK_FLAG_BACKWARD : 0);
  if (result >= 0) AfterSeek();
  return result;
}

// What was read ahead belongs to the old position.
void TMediaLibraryState::AfterSeek() {
  ClearQueue();
  fInputEnded = false;
  // A decoder that was drained at the end takes no more input until flushed.
  if (fVideoDraining) FlushVideo();
  if (fAudioDraining && fAudio) avcodec_flush_buffers(fAudio);
  fAudioDraining = fAudioEnded = false;
}

void TMediaLibraryState::FlushVideo() {
  if (fVideo) avcodec_flush_buffers(fVideo);
  fVideoDraining = false;
  fLastVideoPts = kNoTimestamp;
}

void TMediaLibraryState::FlushAudio() {
  if (fAudio) avcodec_flush_buffers(fAudio);
  swr_free(&fResampler);
  av_frame_free(&fPendingAudio);
  fAudioTarget = kNoTimestamp;
  fAudioDraining = fAudioEnded = false;
}

// Steps toward the seek target without passing it, one packet a call: 0
// skips a packet unread while the one after next still starts at or before
// the target (one packet before the target stays, to prime the decoder); 1
// decodes a packet and drops its sound while the next one still starts at
// or before it. True when it stepped.
bool TMediaLibraryState::AfterAudioSeek(bool advance) {
  if (fAudioIndex < 0 || !fAudio || fAudioTarget == kNoTimestamp) return false;
  const AVPacket* limit = Peek(fAudioIndex, advance ? 1 : 2);
  if (!limit || PacketTime(limit) == kNoTimestamp || PacketTime(limit) > fAudioTarget) return false;
  AVPacket* packet = Take(fAudioIndex);
  if (!packet) return false;
  if (advance && avcodec_send_packet(fAudio, packet) >= 0) {
    while (avcodec_receive_frame(fAudio, fAudioFrame) >= 0) av_frame_unref(fAudioFrame);
  }
  av_packet_free(&packet);
  return true;
}

// ---------------------------------------------------------------------------
// Decoding.

bool TMediaLibraryState::NextVideoFrame(AVFrame* frame, int64_t& pts) {
  if (!fVideo) return false;
  for (;;) {
    const int received = avcodec_receive_frame(fVideo, frame);
    if (received >= 0) break;
    if (received != AVERROR(EAGAIN) || fVideoDraining) return false;
    AVPacket* packet = Take(fVideoIndex);
    if (!packet) {
      fVideoDraining = true;
      avcodec_send_packet(fVideo, nullptr);
      continue;
    }
    // A packet the decoder refuses is skipped.
    avcodec_send_packet(fVideo, packet);
    av_packet_free(&packet);
  }
  pts = FrameTime(frame, fVideoIndex);
  if (pts == kNoTimestamp && fLastVideoPts != kNoTimestamp) {
    // Without a time stamp the frame follows the previous one.
    pts = AddTime(fLastVideoPts, std::max<int64_t>(frame->pkt_duration, 1));
  }
  fLastVideoPts = pts;
  return true;
}

// The next decoded frame, feeding packets as the decoder asks; false at
// the end of the stream.
bool TMediaLibraryState::ReceiveAudio(AVFrame* frame) {
  for (;;) {
    const int received = avcodec_receive_frame(fAudio, frame);
    if (received >= 0) return true;
    if (received != AVERROR(EAGAIN) || fAudioDraining) return false;
    AVPacket* packet = Take(fAudioIndex);
    if (!packet) {
      fAudioDraining = true;
      avcodec_send_packet(fAudio, nullptr);
      continue;
    }
    // A packet the decoder refuses is skipped.
    avcodec_send_packet(fAudio, packet);
    av_packet_free(&packet);
  }
}

int64_t TMediaLibraryState::NextAudioFrame(std::vector<uint8_t>& buffer) {
  if (!fAudio || fAudioEnded) return 0;
  for (;;) {
    AVFrame* frame = fPendingAudio ? fPendingAudio : fAudioFrame;
    if (!fPendingAudio && !ReceiveAudio(fAudioFrame)) break;
    const int64_t bytes = ConvertAudio(frame, buffer);
    av_frame_unref(frame);
    av_frame_free(&fPendingAudio);
    if (bytes > 0) return bytes;
  }
  fAudioEnded = true;
  return DrainResampler(buffer);
}

int TMediaLibraryState::SamplesBeforeTarget(const AVFrame* frame) {
  if (fAudioTarget == kNoTimestamp) return 0;
  int64_t time = FrameTime(frame, fAudioIndex);
  if (time != kNoTimestamp) time -= fAudioLag;
  if (time == kNoTimestamp || time >= fAudioTarget || frame->sample_rate <= 0) {
    fAudioTarget = kNoTimestamp;
    return 0;
  }
  const int64_t samples =
      av_rescale_q(SubTime(fAudioTarget, time), fFormat->streams[fAudioIndex]->time_base, AVRational{1, frame->sample_rate});
  if (samples >= frame->nb_samples) return frame->nb_samples;
  fAudioTarget = kNoTimestamp;
  return static_cast<int>(std::max<int64_t>(samples, 0));
}

bool TMediaLibraryState::PrepareResampler(const AVFrame* frame) {
  AVChannelLayout in{};
  if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&frame->ch_layout) == 0) {
    av_channel_layout_default(&in, frame->ch_layout.nb_channels);
  } else {
    av_channel_layout_copy(&in, &frame->ch_layout);
  }
  if (fResampler && fResamplerInRate == frame->sample_rate && fResamplerInFormat == frame->format &&
      av_channel_layout_compare(&in, &fResamplerIn) == 0) {
    av_channel_layout_uninit(&in);
    return true;
  }
  swr_free(&fResampler);
  av_channel_layout_uninit(&fResamplerIn);
  AVChannelLayout out{};
  // The same number of channels keeps their layout: nothing is remixed.
  if (in.nb_channels == fOutChannels) {
    av_channel_layout_copy(&out, &in);
  } else {
    av_channel_layout_default(&out, fOutChannels);
  }
  const int made = swr_alloc_set_opts2(&fResampler, &out, AV_SAMPLE_FMT_S16, fOutRate, &in,
                                       static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
  av_channel_layout_uninit(&out);
  fResamplerIn = in;
  fResamplerInRate = frame->sample_rate;
  fResamplerInFormat = frame->format;
  if (made < 0 || swr_init(fResampler) < 0) {
    swr_free(&fResampler);
    return false;
  }
  return true;
}

int64_t TMediaLibraryState::ConvertAudio(const AVFrame* frame, std::vector<uint8_t>& buffer) {
  const int skip = SamplesBeforeTarget(frame);
  const int count = frame->nb_samples - skip;
  const int channels = frame->ch_layout.nb_channels;
  if (count <= 0 || channels <= 0 || fOutChannels <= 0 || !PrepareResampler(frame)) return 0;
  const auto format = static_cast<AVSampleFormat>(frame->format);
  const int sampleBytes = av_get_bytes_per_sample(format);
  const bool planar = av_sample_fmt_is_planar(format);
  std::vector<const uint8_t*> input(static_cast<size_t>(planar ? channels : 1));
  for (size_t plane = 0; plane < input.size(); ++plane) {
    input[plane] = frame->extended_data[plane] + static_cast<ptrdiff_t>(skip) * sampleBytes * (planar ? 1 : channels);
  }
  const int room = swr_get_out_samples(fResampler, count);
  if (room <= 0) return 0;
  buffer.resize(static_cast<size_t>(room) * fOutChannels * 2);
  uint8_t* output[1] = {buffer.data()};
  const int made = swr_convert(fResampler, output, room, input.data(), count);
  buffer.resize(static_cast<size_t>(std::max(made, 0)) * fOutChannels * 2);
  return static_cast<int64_t>(buffer.size());
}

int64_t TMediaLibraryState::DrainResampler(std::vector<uint8_t>& buffer) {
  if (!fResampler) return 0;
  const int room = swr_get_out_samples(fResampler, 0);
  int made = 0;
  if (room > 0) {
    buffer.resize(static_cast<size_t>(room) * fOutChannels * 2);
    uint8_t* output[1] = {buffer.data()};
    made = std::max(swr_convert(fResampler, output, room, nullptr, 0), 0);
  }
  swr_free(&fResampler);
  buffer.resize(static_cast<size_t>(made) * fOutChannels * 2);
  return static_cast<int64_t>(buffer.size());
}

// ---------------------------------------------------------------------------
// Handles and buffers.

TMediaHandle::TMediaHandle() = default;
TMediaHandle::~TMediaHandle() = default;

TMediaFrameBuffer::~TMediaFrameBuffer() {
  av_frame_free(&fFrame);
  av_free(fOwned);
}

// ---------------------------------------------------------------------------
// The bridge.

namespace {

// Around making and freeing the bridge.
TCriticalSection& CreationLock() {
  static TCriticalSection lock;
  return lock;
}

// Around opening and closing files and audio streams.
TCriticalSection& OpenCloseLock() {
  static TCriticalSection lock;
  return lock;
}

TFFMpegDll* gBridge = nullptr;
int32_t gReferences = 0;
bool gProcessReferenceHeld = false;

}  // namespace

TFFMpegDll::TFFMpegDll() { RouteFFmpegLog(); }
TFFMpegDll::~TFFMpegDll() = default;

TFFMpegDll& TFFMpegDll::Acquire() {
  std::lock_guard lock(CreationLock());
  if (!gBridge) {
    gBridge = new TFFMpegDll();
    gReferences = 1;
    gProcessReferenceHeld = true;
  }
  ++gReferences;
  return *gBridge;
}

void TFFMpegDll::Release() {
  std::lock_guard lock(CreationLock());
  if (gReferences <= 0) {
    ReportAssertion("Media library released more often than taken", __FILE__, __LINE__);
    return;
  }
  if (--gReferences == 0) {
    delete gBridge;
    gBridge = nullptr;
    gProcessReferenceHeld = false;
  }
}

void TFFMpegDll::ReleaseProcessReference() {
  {
    std::lock_guard lock(CreationLock());
    if (!gProcessReferenceHeld) return;
    gProcessReferenceHeld = false;
  }
  Release();
}

int32_t TFFMpegDll::ReferenceCount() {
  std::lock_guard lock(CreationLock());
  return gReferences;
}

void TFFMpegDll::IgnoreLibraryFile(TStringView path) {
  static std::once_flag once;
  std::call_once(once, [&] {
    Log().Write("Media library: FFmpeg is built in; \"" + StringToUtf8(path) + "\" is not loaded");
  });
}

void TFFMpegDll::SetLimits(const TLimits& limits) {
  std::lock_guard lock(LimitsSlot().Lock);
  LimitsSlot().Limits = limits;
}

std::unique_ptr<TMediaHandle> TFFMpegDll::OpenMediaFile(TStringView name, TStream& stream) {
  std::lock_guard lock(OpenCloseLock());
  try {
    StreamWrapper().Seek(stream, 0, 0);
  } catch (const std::exception& error) {
    Log().Write(std::string("Media library: cannot rewind the stream: ") + error.what());
    return nullptr;
  } catch (...) {
    Log().Write("Media library: cannot rewind the stream");
    return nullptr;
  }
  auto handle = std::make_unique<TMediaHandle>();
  handle->Library = std::make_unique<TMediaLibraryState>(stream);
  if (!handle->Library->Open(StringToUtf8(name))) return nullptr;
  handle->Library->Describe(*handle);
  ApplyOpeningCorrections(*handle);
  return handle;
}

void TFFMpegDll::ApplyOpeningCorrections(TMediaHandle& handle) {
  if (handle.Height == 1088) handle.Height = 1080;
  handle.Data = std::make_unique<TVideoDataEx>();
  handle.Data->Container = ContainerFromFormatName(GetFormatName(handle));
  handle.FrameRate = CorrectedFrameRate(
      {handle.Codec, handle.Data->Container, handle.FrameRate, handle.StreamRate, handle.TicksPerFrame});
  if (handle.FrameRate.Den > 0) handle.FrameCount = FrameCountOf(handle.Duration, handle.FrameRate);
  if (handle.StartTime < 0) handle.StartTime = 0;
}

void TFFMpegDll::CloseMediaFile(std::unique_ptr<TMediaHandle> handle) {
  std::lock_guard lock(OpenCloseLock());
  if (!handle) return;
  handle->Data.reset();
  handle.reset();
}

std::string TFFMpegDll::GetFormatName(const TMediaHandle& handle) const {
  const AVFormatContext* format = handle.Library ? handle.Library->Format() : nullptr;
  return format && format->iformat && format->iformat->name ? format->iformat->name : "";
}

// ---------------------------------------------------------------------------
// Video.

int32_t TFFMpegDll::CurrentFrameIndex(TMediaHandle& handle) {
  if (handle.VideoStream < 0 || handle.FrameRate.Den <= 0) return -1;
  const int64_t pts = handle.Library->CurrentPts(handle.VideoStream);
  return FrameIndexOf(pts, handle.TimeBase, handle.StartTime, handle.FrameRate);
}

bool TFFMpegDll::SeekFrame(TMediaHandle& handle, int64_t index) {
  if (handle.VideoStream < 0 || handle.FrameRate.Num == 0 || handle.TimeBase.Num == 0) return false;
  const int64_t timestamp =
      FrameTimestamp(index, handle.FrameRate, handle.TimeBase, handle.StartTime, handle.Data->Container);
  handle.Library->FlushVideo();
  return handle.Library->SeekFile(handle.VideoStream, timestamp, true) >= 0;
}

int32_t TFFMpegDll::GetNextVideoFrame(TMediaHandle& handle, TMediaFrameBuffer& buffer) {
  if (buffer.OwnsData() || handle.VideoStream < 0) return -1;
  if (!buffer.fFrame) buffer.fFrame = av_frame_alloc();
  if (!buffer.fFrame) return -1;
  av_frame_unref(buffer.fFrame);
  buffer.Planes = {};
  buffer.Strides = {};
  int64_t pts = kNoTimestamp;
  if (!handle.Library->NextVideoFrame(buffer.fFrame, pts)) return -1;
  const AVFrame* frame = buffer.fFrame;
  for (size_t plane = 0; plane < buffer.Planes.size(); ++plane) {
    buffer.Planes[plane] = frame->data[plane];
    buffer.Strides[plane] = frame->linesize[plane];
  }
  buffer.RowStride = frame->linesize[0];
  buffer.Width = frame->width;
  buffer.Height = frame->height;
  const int32_t index = FrameIndexOf(pts, handle.TimeBase, handle.StartTime, handle.FrameRate);
  // A frame whose time is unknown follows the previous one.
  return index >= 0 ? index : std::max(handle.CurrentFrame, 0);
}

std::unique_ptr<TMediaFrameBuffer> TFFMpegDll::AllocBuffer(const TMediaHandle&, TMediaPixelFormat format) {
  return std::make_unique<TMediaFrameBuffer>(format);
}

std::unique_ptr<TMediaFrameBuffer> TFFMpegDll::AllocBufferWithData(const TMediaHandle& handle,
                                                                   TMediaPixelFormat format) {
  const auto pixelFormat = static_cast<AVPixelFormat>(FFmpegPixelFormat(format));
  if (pixelFormat == AV_PIX_FMT_NONE || handle.Width <= 0 || handle.Height <= 0) return nullptr;
  if (int64_t{handle.Width} * handle.Height > MaxPixels()) return nullptr;
  const int size = av_image_get_buffer_size(pixelFormat, handle.Width, handle.Height, 32);
  if (size <= 0) return nullptr;
  auto buffer = std::make_unique<TMediaFrameBuffer>(format);
  buffer->fOwned = static_cast<uint8_t*>(av_mallocz(static_cast<size_t>(size)));
  if (!buffer->fOwned) return nullptr;
  uint8_t* planes[4] = {};
  int strides[4] = {};
  av_image_fill_arrays(planes, strides, buffer->fOwned, pixelFormat, handle.Width, handle.Height, 32);
  for (size_t plane = 0; plane < 4; ++plane) {
    buffer->Planes[plane] = planes[plane];
    buffer->Strides[plane] = strides[plane];
  }
  buffer->RowStride = strides[0];
  buffer->Width = handle.Width;
  buffer->Height = handle.Height;
  return buffer;
}

bool TFFMpegDll::ConvertFrame(TMediaHandle& handle, const TMediaFrameBuffer& source, TMediaFrameBuffer& target) {
  const AVFrame* frame = source.fFrame;
  if (!frame || !source.HasPicture() || !target.OwnsData()) return false;
  const auto targetFormat = static_cast<AVPixelFormat>(FFmpegPixelFormat(target.Format));
  if (targetFormat == AV_PIX_FMT_NONE || frame->width <= 0 || frame->height <= 0) return false;
  // A taller picture (1088 lines shown as 1080) is cropped, not scaled.
  const int width = std::min(frame->width, target.Width);
  const int height = std::min(frame->height, target.Height);
  SwsContext*& scaler = handle.Library->Scaler();
  scaler = sws_getCachedContext(scaler, width, height, static_cast<AVPixelFormat>(frame->format), width, height,
                                targetFormat, SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!scaler) return false;
  uint8_t* planes[4] = {target.Planes[0], target.Planes[1], target.Planes[2], target.Planes[3]};
  const int strides[4] = {target.Strides[0], target.Strides[1], target.Strides[2], target.Strides[3]};
  return sws_scale(scaler, frame->data, frame->linesize, 0, height, planes, strides) > 0;
}

void TFFMpegDll::GetFrameInfo(TMediaFrameBuffer& buffer) const {
  const AVFrame* frame = buffer.fFrame;
  buffer.Interlaced = frame && frame->interlaced_frame != 0;
  buffer.TopFieldFirst = frame && frame->top_field_first != 0;
}

TDisplayAspect TFFMpegDll::DisplayAspect(const TMediaHandle& handle) const {
  return DisplayAspectOf(handle.Width, handle.Height, handle.SampleAspect);
}

TInterlace TFFMpegDll::Interlacing(TMediaHandle& handle) {
  if (handle.Tag) {
    if (const auto tagged = InterlaceFromTag(*handle.Tag)) return *tagged;
  }
  const TContainer container = handle.Data->Container;
  if (container == TContainer::Avi || container == TContainer::Matroska || handle.VideoStream < 0) return {};
  return DecodedInterlacing(handle).value_or(TInterlace{});
}

// Looks at up to three frames from the start; the decoder is moved back to
// the start afterwards.
std::optional<TInterlace> TFFMpegDll::DecodedInterlacing(TMediaHandle& handle) {
  SeekFrame(handle, 0);
  TMediaFrameBuffer buffer(handle.PixelFormat);
  std::optional<TInterlace> found;
  for (int examined = 0; examined < 3; ++examined) {
    const int32_t index = GetNextVideoFrame(handle, buffer);
    if (index < 0) break;
    if (examined == 0) handle.Data->FirstFrameIndex = index;
    GetFrameInfo(buffer);
    found = TInterlace{buffer.Interlaced, buffer.TopFieldFirst};
    if (buffer.Interlaced) break;
  }
  SeekFrame(handle, 0);
  const int32_t first = static_cast<int32_t>(std::max<int64_t>(handle.Data->FirstFrameIndex, 0));
  handle.Data->DecodedFirst = handle.Data->DecodedNext = first;
  return found;
}

// ---------------------------------------------------------------------------
// Audio.

bool TFFMpegDll::GetAudioInfo(const TMediaHandle& handle, int32_t number, TAudioStreamInfo& info) const {
  const int index = handle.Library ? handle.Library->AudioStreamAt(number) : -1;
  if (index < 0) return false;
  const AVCodecParameters* parameters = handle.Library->Format()->streams[index]->codecpar;
  if (parameters->sample_rate <= 0 || parameters->ch_layout.nb_channels <= 0) return false;
  if (!avcodec_find_decoder(parameters->codec_id)) return false;
  info.SampleRate = parameters->sample_rate;
  info.Channels = parameters->ch_layout.nb_channels;
  info.BitsPerSample = 16;
  info.SourceBits = parameters->bits_per_raw_sample > 0 ? parameters->bits_per_raw_sample
                                                        : av_get_bits_per_sample(parameters->codec_id);
  info.CodecName = avcodec_get_name(parameters->codec_id);
  return true;
}

bool TFFMpegDll::OpenAudioStream(TMediaHandle& handle, int32_t number) {
  {
    std::lock_guard lock(OpenCloseLock());
    const int index = handle.Library ? handle.Library->AudioStreamAt(number) : -1;
    if (!handle.Library || !handle.Library->OpenAudioDecoder(index)) {
      if (handle.Library) handle.Library->CloseAudioDecoder();
      return false;
    }
    handle.AudioStream = index;
    handle.AudioTimeBase = ToRational(handle.Library->Format()->streams[index]->time_base);
    handle.AudioBuffer.clear();
  }
  SeekAudio(handle, 0);
  handle.Library->MeasureAudioLag();
  return true;
}

void TFFMpegDll::SetAudioOutput(TMediaHandle& handle, int32_t sampleRate, int32_t channels) {
  handle.Library->SetAudioOutput(sampleRate, channels);
}

int64_t TFFMpegDll::GetNextAudioFrame(TMediaHandle& handle) {
  if (!handle.Library) return 0;
  return handle.Library->NextAudioFrame(handle.AudioBuffer);
}

void TFFMpegDll::CloseAudioStream(TMediaHandle& handle) {
  std::lock_guard lock(OpenCloseLock());
  if (handle.Library) handle.Library->CloseAudioDecoder();
  handle.AudioBuffer = {};
}

bool TFFMpegDll::SeekAudio(TMediaHandle& handle, double ms) {
  if (!handle.Library || handle.AudioStream < 0 || handle.AudioTimeBase.Num == 0) return false;
  const TContainer container = handle.Data->Container;
  TVideoDataEx& data = *handle.Data;
  if (data.AudioSeekMode == TAudioSeekMode::NotChosen) {
    data.AudioSeekMode =
        ChooseAudioSeekMode(handle, AudioTimestamp(0, handle.StartTime, container, handle.AudioTimeBase));
  }
  int64_t us = 0;
  const int64_t timestamp = AudioTimestamp(ms, handle.StartTime, container, handle.AudioTimeBase, &us);
  TMediaLibraryState& library = *handle.Library;
  library.FlushAudio();
  library.SetAudioTarget(timestamp);
  switch (data.AudioSeekMode) {
    case TAudioSeekMode::TimeSearch: return SearchBackward(handle, timestamp, us);
    case TAudioSeekMode::SeekAndStep: return SeekAndStep(handle, timestamp);
    default: return library.SeekFile(handle.AudioStream, timestamp, true) >= 0;
  }
}

TAudioSeekMode TFFMpegDll::ChooseAudioSeekMode(TMediaHandle& handle, int64_t startTimestamp) {
  switch (handle.Data->Container) {
    case TContainer::Matroska: return TAudioSeekMode::TimeSearch;
    case TContainer::Asf: return TAudioSeekMode::SeekAndStep;
    default: break;
  }
  handle.Library->FlushAudio();
  const bool direct = handle.Library->SeekFile(handle.AudioStream, startTimestamp, true) >= 0;
  return direct ? TAudioSeekMode::StreamSeek : TAudioSeekMode::TimeSearch;
}

// Seeks by time, 1% earlier each try, until the file lands at or before the
// time stamp, then steps up to it.
bool TFFMpegDll::SearchBackward(TMediaHandle& handle, int64_t timestamp, int64_t us) {
  TMediaLibraryState& library = *handle.Library;
  // Where the file landed, read from the video when there is one.
  const int probe = handle.VideoStream >= 0 ? handle.VideoStream : handle.AudioStream;
  bool landed = false;
  int64_t target = us;
  for (int attempt = 0; attempt < 101; ++attempt) {
    if (library.SeekFile(-1, target, false) >= 0) {
      landed = true;
      const int64_t at = library.RescaleBetween(library.CurrentPts(probe), probe, handle.AudioStream);
      if (at == kNoTimestamp || at <= timestamp) break;
    }
    target -= std::max<int64_t>(std::llabs(target) / 100, 1);
  }
  if (!landed) return false;
  int64_t at = library.CurrentPts(handle.AudioStream);
  for (int still = 0; at != kNoTimestamp && at < timestamp - 1 && still < 100;) {
    library.AfterAudioSeek(false);
    const int64_t now = library.CurrentPts(handle.AudioStream);
    still = now == at ? still + 1 : 0;
    at = now;
  }
  return true;
}

// Seeks the audio stream, then steps frame by frame up to the time stamp.
bool TFFMpegDll::SeekAndStep(TMediaHandle& handle, int64_t timestamp) {
  TMediaLibraryState& library = *handle.Library;
  if (library.SeekFile(handle.AudioStream, timestamp, true) < 0) return false;
  library.AfterAudioSeek(false);
  int64_t at = library.CurrentPts(handle.AudioStream);
  while (at != kNoTimestamp && at < timestamp) {
    library.AfterAudioSeek(true);
    const int64_t now = library.CurrentPts(handle.AudioStream);
    if (now == at) break;
    at = now;
  }
  return true;
}

}  // namespace zel
