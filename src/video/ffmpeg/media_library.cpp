#include "video/ffmpeg/media_library.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
}

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>

#include "audio/stream_gate.h"
#include "core/log.h"
#include "core/sync.h"
#include "video/ffmpeg/ffmpeg_support.h"
#include "video/ffmpeg/media_library_state.h"

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

void TFFMpegDll::SetLimits(const TLimits& limits) { SetMediaLimits(limits); }

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
  if (int64_t{handle.Width} * handle.Height > MediaMaxPixels()) return nullptr;
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
  if (!PlayableSampleRate(parameters->sample_rate) || parameters->ch_layout.nb_channels <= 0) return false;
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

// Seeks by time, 1% earlier each try, until the sound's next packet lies
// at or before the time stamp (or is its first, for a time before the
// sound starts), then steps up to it.
bool TFFMpegDll::SearchBackward(TMediaHandle& handle, int64_t timestamp, int64_t us) {
  TMediaLibraryState& library = *handle.Library;
  const int64_t fileStart = std::max<int64_t>(handle.StartTime, 0);
  bool landed = false;
  int64_t target = us;
  for (int attempt = 0; attempt < 101; ++attempt) {
    if (library.SeekFile(-1, target, false) >= 0) {
      landed = true;
      const int64_t at = library.CurrentPts(handle.AudioStream);
      // From the file's start, the next packet is the sound's first.
      if (target <= fileStart) {
        library.NoteAudioStart(at);
        break;
      }
      if (at == kNoTimestamp || at <= std::max(timestamp, library.AudioStart())) break;
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
