// FFmpeg's side of an open media file: the demuxer over the stream, the
// decoders, the packets read ahead, and the converters. Each handle serves
// one consumer (a video source or a sound decoder): while a sound decoder
// is open on it only its stream's packets are kept, otherwise only the
// video's. Only the bridge includes this header.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/streams.h"
#include "video/ffmpeg/media_library.h"

namespace zel {

// The sound rates the bridge decodes. A stream outside them is not
// playable: a rate of a few hertz resampled to the output rate would turn
// each small packet into hundreds of megabytes.
constexpr int kMinMediaSampleRate = 1000;
constexpr int kMaxMediaSampleRate = 768000;
inline bool PlayableSampleRate(int rate) { return rate >= kMinMediaSampleRate && rate <= kMaxMediaSampleRate; }

// The most sample frames one conversion delivers; the resampler keeps the
// rest of its input for the next call.
constexpr int kMaxConvertedFrames = 32768;

// The limits on the files opened from now on (TFFMpegDll::SetLimits).
TFFMpegDll::TLimits CurrentMediaLimits();
void SetMediaLimits(const TFFMpegDll::TLimits& limits);
// The largest picture decoded or converted.
int64_t MediaMaxPixels();

inline TRational ToRational(AVRational r) { return {r.num, r.den}; }

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
  // From here on the handle reads only this audio stream's packets.
  bool OpenAudioDecoder(int index);
  void CloseAudioDecoder();
  void MeasureAudioLag();
  void SetAudioOutput(int rate, int channels);

  // The library's operations.
  int SeekFile(int stream, int64_t timestamp, bool backward);
  int64_t CurrentPts(int stream);
  // The sound's first time stamp (its own time base), once a seek to the
  // file's start has read it; none before. A sound may start long after
  // the file does.
  int64_t AudioStart() const { return fAudioStart; }
  void NoteAudioStart(int64_t timestamp) { fAudioStart = timestamp; }
  void FlushVideo();
  void FlushAudio();
  void SetAudioTarget(int64_t timestamp) { fAudioTarget = timestamp; }
  bool AfterAudioSeek(bool advance);
  bool NextVideoFrame(AVFrame* frame, int64_t& pts);
  // The next piece of sound as interleaved 16-bit PCM, at most
  // kMaxConvertedFrames frames; its bytes, 0 at the end.
  int64_t NextAudioFrame(std::vector<uint8_t>& buffer);
  SwsContext*& Scaler() { return fScaler; }

 private:
  static int ReadCallback(void* opaque, uint8_t* buffer, int size);
  static int64_t SeekCallback(void* opaque, int64_t offset, int whence);
  void ReportStreamFailure(const char* what) noexcept;
  bool FindStreamInfo();
  bool OpenVideoDecoder();
  bool Wanted(int stream) const {
    return stream >= 0 && (fAudioIndex >= 0 ? stream == fAudioIndex : stream == fVideoIndex);
  }
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
  int64_t ResampledPiece(const uint8_t** input, int count, std::vector<uint8_t>& buffer);
  int64_t HeldPiece(std::vector<uint8_t>& buffer);
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
  int64_t fAudioStart = kNoTimestamp;
  SwrContext* fResampler = nullptr;
  AVChannelLayout fResamplerIn{};
  int fResamplerInRate = 0;
  int fResamplerInFormat = -1;
  int fOutRate = 0;
  int fOutChannels = 0;
  SwsContext* fScaler = nullptr;
};

}  // namespace zel
