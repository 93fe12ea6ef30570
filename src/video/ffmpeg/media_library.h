// The media library bridge: every video file and every sound that is not
// WAV or MPEG audio is read through it. It opens a file from a stream (all
// reads going through the sound stream gate), describes it in a media
// handle, decodes video frames by index and audio as 16-bit PCM, and applies
// the corrections the player relies on (frame-rate snapping, 1088-line
// pictures, missing start times). Decoding is FFmpeg's; this header keeps
// FFmpeg's types out of its users.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/obj.h"
#include "core/streams.h"
#include "core/strings.h"

struct AVFrame;

namespace zel {

// The time stamp that stands for "none" (only the top bit set).
constexpr int64_t kNoTimestamp = std::numeric_limits<int64_t>::min();

// ---------------------------------------------------------------------------
// Names of containers, codecs and pixel formats.

enum class TContainer : uint8_t {
  Other = 0,
  Avi = 1,
  Matroska = 2,  // also WebM
  Mov = 3,       // QuickTime, MP4 and relatives
  Mpeg = 4,      // program streams and elementary MPEG video
  Flv = 5,
  MpegTs = 6,
  Asf = 7,
};

// Video codecs, numbered as FFmpeg's early codec list numbered them (the
// numbers the frame-rate rules test). Codecs outside that list are
// kOtherCodecBase plus FFmpeg's own identifier.
enum class TVideoCodec : int32_t {
  None = 0,
  Mpeg1Video, Mpeg2Video, Mpeg2VideoXvmc, H261, H263, Rv10, Rv20, Mjpeg, MjpegB, Ljpeg,
  Sp5x, JpegLs, Mpeg4, RawVideo, MsMpeg4V1, MsMpeg4V2, MsMpeg4V3, Wmv1, Wmv2, H263P,
  H263I, Flv1, Svq1, Svq3, DvVideo, HuffYuv, Cyuv, H264, Indeo3, Vp3,
  Theora, Asv1, Asv2, Ffv1, FourXm, Vcr1, Cljr, Mdec, Roq, InterplayVideo,
  XanWc3, XanWc4, Rpza, Cinepak, WsVqa, MsRle, MsVideo1, Idcin, EightBps, Smc,
  Flic, TrueMotion1, VmdVideo, Mszh, Zlib, QtRle, Snow, Tscc, Ulti, Qdraw,
  Vixl, Qpeg, Xvid, Png, Ppm, Pbm, Pgm, PgmYuv, Pam, FfvHuff,
  Rv30, Rv40, Vc1, Wmv3, Loco, Wnv1, Aasc, Indeo2, Fraps, TrueMotion2,
  Bmp, Cscd, MmVideo, Zmbv, Avs, SmackVideo, Nuv, Kmvc, FlashSv, Cavs,
  Jpeg2000, Vmnc, Vp5, Vp6, Vp6F, Targa, DsicinVideo, TiertexSeqVideo, Tiff, Gif,
};
constexpr int32_t kOtherCodecBase = 1000;

// Pixel formats of decoded and converted pictures. 6 and 30 both name
// 32-bit RGB (bytes B, G, R, A); 2 is 24-bit RGB (bytes R, G, B). Other
// formats are kOtherPixelFormatBase plus FFmpeg's identifier.
enum class TMediaPixelFormat : int32_t {
  Yuv420P = 0,
  Rgb24 = 2,
  Rgb32 = 6,
  Bgra = 30,
};
constexpr int32_t kOtherPixelFormatBase = 1000;
inline bool IsRgb32(TMediaPixelFormat format) {
  return format == TMediaPixelFormat::Rgb32 || format == TMediaPixelFormat::Bgra;
}

// The container of FFmpeg's demuxer name ("matroska,webm").
TContainer ContainerFromFormatName(std::string_view formatName);
// Our codec for FFmpeg's AVCodecID.
TVideoCodec VideoCodecFromFFmpeg(int32_t codecId);
// Our pixel format for FFmpeg's AVPixelFormat, and back (-1 when ours has
// no FFmpeg counterpart).
TMediaPixelFormat PixelFormatFromFFmpeg(int32_t pixelFormat);
int32_t FFmpegPixelFormat(TMediaPixelFormat format);

// ---------------------------------------------------------------------------
// The rules applied to what FFmpeg reports (pure functions).

struct TRational {
  int32_t Num = 0;
  int32_t Den = 0;
  // 0 when the denominator is 0.
  double Value() const { return Den == 0 ? 0.0 : static_cast<double>(Num) / Den; }
  bool operator==(const TRational&) const = default;
};

enum class TAudioSeekMode : uint8_t {
  NotChosen = 0,
  StreamSeek = 1,   // seek the audio stream to the time stamp
  TimeSearch = 2,   // seek by time, stepping back until at or before it
  SeekAndStep = 3,  // seek the audio stream, then step frame by frame
};

enum class TDisplayAspect : uint8_t { Unknown = 0, Standard = 1, Wide = 2 };

struct TInterlace {
  bool Interlaced = false;
  bool TopFieldFirst = true;
  bool BottomFieldFirst() const { return Interlaced && !TopFieldFirst; }
};

// What the frame-rate correction looks at.
struct TFrameRateFacts {
  TVideoCodec Codec = TVideoCodec::None;
  TContainer Container = TContainer::Other;
  TRational Reported;  // the rate the file states
  TRational Stream;    // the stream's tick rate
  int32_t TicksPerFrame = 0;
};

// The rate the player uses: rates near 24000/1001 and 30000/1001 become
// exactly those, and MPEG program and transport streams and FLV fall back
// on the stream's tick rate; codecs whose stated rate is trusted keep it.
TRational CorrectedFrameRate(const TFrameRateFacts& facts);
// duration (µs) x rate, rounded; 0 without a rate or duration.
int64_t FrameCountOf(int64_t durationUs, TRational rate);
// The frame index of a time stamp in timeBase units, counted from startUs
// (kNoTimestamp: from 0); -1 for no time stamp or no rate or time base.
// Never below 0 otherwise.
int32_t FrameIndexOf(int64_t timestamp, TRational timeBase, int64_t startUs, TRational rate);
// The time stamp (in timeBase units) of frame index; kNoTimestamp when the
// rate or the time base is missing. Transport streams count from 0.
int64_t FrameTimestamp(int64_t index, TRational rate, TRational timeBase, int64_t startUs, TContainer container);
// The audio time stamp of ms (in audioTimeBase units) and, through us, the
// same time in microseconds; kNoTimestamp without a time base.
int64_t AudioTimestamp(double ms, int64_t startUs, TContainer container, TRational audioTimeBase,
                       int64_t* us = nullptr);
TDisplayAspect DisplayAspectOf(int32_t width, int32_t height, TRational sampleAspect);
// The field order a file's comment tag states, when it states one.
std::optional<TInterlace> InterlaceFromTag(std::string_view tag);

// ---------------------------------------------------------------------------
// Handles and buffers.

// The player's own record attached to an open file.
struct TVideoDataEx {
  TContainer Container = TContainer::Other;
  // The index of the first frame, once a frame has been decoded for the
  // interlace detection; -1 before.
  int64_t FirstFrameIndex = -1;
  TAudioSeekMode AudioSeekMode = TAudioSeekMode::NotChosen;
  // The frame indices [DecodedFirst, DecodedNext) the video source's
  // decode buffer stands for.
  int32_t DecodedFirst = 0;
  int32_t DecodedNext = 0;
};

// FFmpeg's side of an open file (media_library_state.h).
class TMediaLibraryState;

// One open media file: what the library reports about it and the player's
// corrections. Times are in microseconds unless a time base is named.
struct TMediaHandle {
  TMediaHandle();
  ~TMediaHandle();
  TMediaHandle(const TMediaHandle&) = delete;
  TMediaHandle& operator=(const TMediaHandle&) = delete;

  int32_t CurrentFrame = 0;  // kept by the video source
  TRational FrameRate;
  int64_t StartTime = kNoTimestamp;
  int32_t VideoStream = -1;  // FFmpeg's stream index; -1 without video
  int32_t AudioStream = -1;  // FFmpeg's stream index of the chosen audio stream
  int64_t Duration = 0;
  TVideoCodec Codec = TVideoCodec::None;
  int32_t Width = 0;
  int32_t Height = 0;
  TRational SampleAspect{0, 1};
  int64_t FrameCount = 0;
  TMediaPixelFormat PixelFormat = TMediaPixelFormat::Yuv420P;
  int32_t TicksPerFrame = 0;
  TRational TimeBase;     // of the video stream
  TRational StreamRate;   // the video stream's tick rate
  int32_t AudioStreamCount = 0;
  // The last piece of sound, interleaved 16-bit PCM; sized for each piece.
  std::vector<uint8_t> AudioBuffer;
  TRational AudioTimeBase;
  std::optional<std::string> Tag;  // the container's comment
  std::unique_ptr<TVideoDataEx> Data;
  std::unique_ptr<TMediaLibraryState> Library;
};

struct TAudioStreamInfo {
  int32_t SampleRate = 0;
  int32_t Channels = 0;
  // Of the PCM the bridge delivers (16); SourceBits is the stream's own
  // sample size (0 when it has none, as compressed formats).
  int32_t BitsPerSample = 16;
  int32_t SourceBits = 0;
  std::string CodecName;
};

// A picture: a decoded frame (planes pointing into it) or, for buffers
// made with their own data, a conversion target.
class TMediaFrameBuffer {
 public:
  explicit TMediaFrameBuffer(TMediaPixelFormat format) : Format(format) {}
  ~TMediaFrameBuffer();
  TMediaFrameBuffer(const TMediaFrameBuffer&) = delete;
  TMediaFrameBuffer& operator=(const TMediaFrameBuffer&) = delete;

  TMediaPixelFormat Format;
  bool Interlaced = false;
  bool TopFieldFirst = false;
  std::array<uint8_t*, 4> Planes{};
  std::array<int32_t, 4> Strides{};
  // The row stride of RGB pictures (the first plane's).
  int32_t RowStride = 0;
  int32_t Width = 0;
  int32_t Height = 0;

  bool HasPicture() const { return Planes[0] != nullptr; }
  bool OwnsData() const { return fOwned != nullptr; }

 private:
  friend class TFFMpegDll;
  AVFrame* fFrame = nullptr;  // the decoded frame, when not owning data
  uint8_t* fOwned = nullptr;  // planes of a conversion target
};

// ---------------------------------------------------------------------------
// The bridge.

class TFFMpegDll : public TObj {
 public:
  // Takes a reference to the process's bridge. The first request makes it,
  // together with the process's own reference.
  static TFFMpegDll& Acquire();
  // Gives a reference back; the bridge goes when the last one does.
  static void Release();
  // At process end: gives back the process's own reference.
  static void ReleaseProcessReference();
  static int32_t ReferenceCount();
  // FFmpeg is linked into the program, so a library file named by a show
  // (a package entry or the configured path) is never loaded; said once.
  static void IgnoreLibraryFile(TStringView path);
  // Limits on the files opened from now on; 0 keeps FFmpeg's default.
  struct TLimits {
    int64_t ProbeBytes = 0;  // read to recognise the format
    int64_t AnalyzeUs = 0;   // of the file read to learn its streams
    int64_t MaxPixels = 0;   // of a decoded picture (8192 x 8192 by default)
  };
  static void SetLimits(const TLimits& limits);

  // Opens the file in stream (which must outlive the handle; it is moved to
  // its start first). The name's extension helps recognise the format.
  // None when FFmpeg cannot open it or it has neither video nor audio.
  std::unique_ptr<TMediaHandle> OpenMediaFile(TStringView name, TStream& stream);
  void CloseMediaFile(std::unique_ptr<TMediaHandle> handle);
  // FFmpeg's demuxer name.
  std::string GetFormatName(const TMediaHandle& handle) const;

  // Video.
  int32_t CurrentFrameIndex(TMediaHandle& handle);
  // Moves to the key frame at or before index; false when the file cannot
  // seek there or has no rate.
  bool SeekFrame(TMediaHandle& handle, int64_t index);
  // Decodes the next frame into buffer; its index, or -1 at the end.
  int32_t GetNextVideoFrame(TMediaHandle& handle, TMediaFrameBuffer& buffer);
  std::unique_ptr<TMediaFrameBuffer> AllocBuffer(const TMediaHandle& handle, TMediaPixelFormat format);
  // A buffer with planes of its own of the handle's size: a conversion target.
  std::unique_ptr<TMediaFrameBuffer> AllocBufferWithData(const TMediaHandle& handle, TMediaPixelFormat format);
  // Converts the picture in source into target (made with its own data),
  // cropped to the target's size. False without a picture.
  bool ConvertFrame(TMediaHandle& handle, const TMediaFrameBuffer& source, TMediaFrameBuffer& target);
  // Fills the buffer's interlaced and top-field-first flags.
  void GetFrameInfo(TMediaFrameBuffer& buffer) const;
  TDisplayAspect DisplayAspect(const TMediaHandle& handle) const;
  TInterlace Interlacing(TMediaHandle& handle);

  // Audio. Streams are numbered among the file's audio streams from 0.
  // Streams of rates below 1000 Hz or above 768 kHz are refused.
  bool GetAudioInfo(const TMediaHandle& handle, int32_t number, TAudioStreamInfo& info) const;
  // Opens the stream and moves to its start.
  bool OpenAudioStream(TMediaHandle& handle, int32_t number);
  // The rate and channels GetNextAudioFrame delivers from now on (the
  // stream's own until set).
  void SetAudioOutput(TMediaHandle& handle, int32_t sampleRate, int32_t channels);
  // Decodes the next piece of sound into the handle's audio buffer: a
  // frame, or up to 32768 sample frames of one that resamples to more;
  // the bytes, 0 at the end.
  int64_t GetNextAudioFrame(TMediaHandle& handle);
  // Moves to ms of the sound, to the sample.
  bool SeekAudio(TMediaHandle& handle, double ms);
  void CloseAudioStream(TMediaHandle& handle);

 private:
  TFFMpegDll();
  ~TFFMpegDll() override;
  TAudioSeekMode ChooseAudioSeekMode(TMediaHandle& handle, int64_t startTimestamp);
  bool SearchBackward(TMediaHandle& handle, int64_t timestamp, int64_t us);
  bool SeekAndStep(TMediaHandle& handle, int64_t timestamp);
  void ApplyOpeningCorrections(TMediaHandle& handle);
  std::optional<TInterlace> DecodedInterlacing(TMediaHandle& handle);
};

// One reference to the bridge for the holder's life.
class TFFMpegDllRef {
 public:
  TFFMpegDllRef() : fDll(&TFFMpegDll::Acquire()) {}
  ~TFFMpegDllRef() { TFFMpegDll::Release(); }
  TFFMpegDllRef(const TFFMpegDllRef&) = delete;
  TFFMpegDllRef& operator=(const TFFMpegDllRef&) = delete;

  TFFMpegDll* operator->() const { return fDll; }
  TFFMpegDll& operator*() const { return *fDll; }

 private:
  TFFMpegDll* fDll;
};

}  // namespace zel
