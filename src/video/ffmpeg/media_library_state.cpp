#include "video/ffmpeg/media_library_state.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string_view>

#include "audio/stream_gate.h"
#include "core/log.h"
#include "core/sync.h"

namespace zel {

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

TFFMpegDll::TLimits CurrentMediaLimits() {
  std::lock_guard lock(LimitsSlot().Lock);
  return LimitsSlot().Limits;
}

void SetMediaLimits(const TFFMpegDll::TLimits& limits) {
  std::lock_guard lock(LimitsSlot().Lock);
  LimitsSlot().Limits = limits;
}

int64_t MediaMaxPixels() {
  const int64_t limit = CurrentMediaLimits().MaxPixels;
  return limit > 0 ? limit : kDefaultMaxPixels;
}

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

namespace {

// Single pictures (FFmpeg's "image2" and "..._pipe" readers): the player's
// own picture decoders read pictures, so the media library never opens
// one. That also keeps FFmpeg's external picture decoders, which do not
// all survive malformed files, out of reach of a show's video and sound.
bool IsPictureDemuxer(std::string_view name) {
  constexpr std::string_view kPipe = "_pipe";
  return name == "image2" || name == "image2pipe" ||
         (name.size() > kPipe.size() && name.substr(name.size() - kPipe.size()) == kPipe);
}

void LogRefusedPicture(std::string_view name) {
  static std::atomic<bool> said{false};
  if (!said.exchange(true)) {
    Log().Write("The media library opens no single pictures (" + std::string(name) + ")");
  }
}

}  // namespace

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
  const TFFMpegDll::TLimits limits = CurrentMediaLimits();
  if (limits.ProbeBytes > 0) fFormat->probesize = limits.ProbeBytes;
  if (limits.AnalyzeUs > 0) fFormat->max_analyze_duration = limits.AnalyzeUs;
  // On failure FFmpeg frees the context (not our I/O context).
  if (avformat_open_input(&fFormat, name.c_str(), nullptr, nullptr) < 0) return false;
  if (IsPictureDemuxer(fFormat->iformat->name)) {
    LogRefusedPicture(fFormat->iformat->name);
    return false;
  }
  if (!FindStreamInfo()) return false;
  for (unsigned i = 0; i < fFormat->nb_streams; ++i) {
    const AVStream* stream = fFormat->streams[i];
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) fAudioStreams.push_back(static_cast<int>(i));
  }
  // Cover pictures of sound files are not video.
  const int video = av_find_best_stream(fFormat, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (video >= 0 && !(fFormat->streams[video]->disposition & AV_DISPOSITION_ATTACHED_PIC)) fVideoIndex = video;
  // A picture larger than the limit is never decoded, and one whose size
  // FFmpeg could not learn (it may have refused to decode it) cannot be
  // shown: the file has no usable video.
  if (fVideoIndex >= 0) {
    const AVCodecParameters* parameters = fFormat->streams[fVideoIndex]->codecpar;
    const int64_t pixels = int64_t{parameters->width} * parameters->height;
    if (parameters->width <= 0 || parameters->height <= 0 || pixels > MediaMaxPixels()) fVideoIndex = -1;
  }
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

// FFmpeg decodes a few frames of each stream to learn their parameters;
// the picture limit applies to those too.
bool TMediaLibraryState::FindStreamInfo() {
  std::vector<AVDictionary*> options(fFormat->nb_streams, nullptr);
  const int64_t maxPixels = MediaMaxPixels();
  for (AVDictionary*& streamOptions : options) av_dict_set_int(&streamOptions, "max_pixels", maxPixels, 0);
  const int found = avformat_find_stream_info(fFormat, options.empty() ? nullptr : options.data());
  for (AVDictionary*& streamOptions : options) av_dict_free(&streamOptions);
  return found >= 0;
}

bool TMediaLibraryState::OpenVideoDecoder() {
  const AVStream* stream = fFormat->streams[fVideoIndex];
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) return false;
  fVideo = avcodec_alloc_context3(codec);
  if (!fVideo || avcodec_parameters_to_context(fVideo, stream->codecpar) < 0) return false;
  fVideo->max_pixels = MediaMaxPixels();
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
  // Packets read ahead for the video are of no use to the sound.
  ClearQueue();
  return PlayableSampleRate(fOutRate) && fOutChannels > 0;
}

void TMediaLibraryState::CloseAudioDecoder() {
  avcodec_free_context(&fAudio);
  swr_free(&fResampler);
  av_channel_layout_uninit(&fResamplerIn);
  if (fAudioFrame) av_frame_unref(fAudioFrame);
  av_frame_free(&fPendingAudio);
  fAudioIndex = -1;
  fAudioStart = kNoTimestamp;
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

// The nth packet of the stream ahead; none at the end, when the queue is
// full, or for a stream this handle does not read.
AVPacket* TMediaLibraryState::Peek(int stream, size_t nth) {
  if (!Wanted(stream)) return nullptr;
  size_t seen = 0, scanned = 0;
  for (;;) {
    for (; scanned < fQueue.size(); ++scanned) {
      if (fQueue[scanned]->stream_index == stream && seen++ == nth) return fQueue[scanned];
    }
    if (fQueue.size() >= kMaxQueuedPackets || !ReadPacket()) return nullptr;
  }
}

AVPacket* TMediaLibraryState::Take(int stream) {
  if (!Wanted(stream)) return nullptr;
  while (!Peek(stream, 0)) {
    // A queue full of other packets is no end: they go, and reading goes on.
    const bool full = fQueue.size() >= kMaxQueuedPackets && !fInputEnded;
    ClearQueue();
    if (!full) return nullptr;  // the end: nothing of this stream is coming
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
  if (!GoodLanding(stream, timestamp)) {
    SeekToStart(stream);
    if (stream == fAudioIndex) NoteAudioStart(CurrentPts(stream));
  }
  return result;
}

// Whether the stream's next packet starts at or before the time stamp (or
// is the sound's first, for a time before the sound starts); video packets
// before the next key frame are dropped first.
bool TMediaLibraryState::GoodLanding(int stream, int64_t timestamp) {
  const int64_t limit = stream == fAudioIndex ? std::max(timestamp, fAudioStart) : timestamp;
  for (;;) {
    const AVPacket* packet = Peek(stream, 0);
    if (!packet) return false;
    const int64_t landed = PacketTime(packet);
    if (landed != kNoTimestamp && landed > limit) return false;
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
  if (!fAudio) return 0;
  while (!fAudioEnded) {
    // A frame that made more than one piece of sound is delivered piece
    // by piece before the next one is decoded.
    if (fResampler && swr_get_out_samples(fResampler, 0) > kMaxConvertedFrames) {
      const int64_t held = HeldPiece(buffer);
      if (held > 0) return held;
    }
    AVFrame* frame = fPendingAudio ? fPendingAudio : fAudioFrame;
    if (!fPendingAudio && !ReceiveAudio(fAudioFrame)) {
      fAudioEnded = true;
      break;
    }
    const int64_t bytes = ConvertAudio(frame, buffer);
    av_frame_unref(frame);
    av_frame_free(&fPendingAudio);
    if (bytes > 0) return bytes;
  }
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
  // A frame of a rate beyond the playable ones (the stream's rate may
  // change on the way) is dropped.
  if (count <= 0 || channels <= 0 || fOutChannels <= 0 || !PlayableSampleRate(frame->sample_rate) ||
      !PrepareResampler(frame)) {
    return 0;
  }
  const auto format = static_cast<AVSampleFormat>(frame->format);
  const int sampleBytes = av_get_bytes_per_sample(format);
  const bool planar = av_sample_fmt_is_planar(format);
  std::vector<const uint8_t*> input(static_cast<size_t>(planar ? channels : 1));
  for (size_t plane = 0; plane < input.size(); ++plane) {
    input[plane] = frame->extended_data[plane] + static_cast<ptrdiff_t>(skip) * sampleBytes * (planar ? 1 : channels);
  }
  return ResampledPiece(input.data(), count, buffer);
}

// The resampler takes all of its input and keeps what does not fit the
// piece for the next call.
int64_t TMediaLibraryState::ResampledPiece(const uint8_t** input, int count, std::vector<uint8_t>& buffer) {
  int room = swr_get_out_samples(fResampler, count);
  if (room <= 0 || room > kMaxConvertedFrames) room = kMaxConvertedFrames;
  buffer.resize(static_cast<size_t>(room) * fOutChannels * 2);
  uint8_t* output[1] = {buffer.data()};
  const int made = swr_convert(fResampler, output, room, input, count);
  buffer.resize(static_cast<size_t>(std::max(made, 0)) * fOutChannels * 2);
  return static_cast<int64_t>(buffer.size());
}

// What the resampler holds, without ending its input: no input at all
// would flush it, so the input planes point at nothing and count none.
int64_t TMediaLibraryState::HeldPiece(std::vector<uint8_t>& buffer) {
  static const uint8_t kNothing[8] = {};
  std::vector<const uint8_t*> none(static_cast<size_t>(std::max(fResamplerIn.nb_channels, 1)), kNothing);
  return ResampledPiece(none.data(), 0, buffer);
}

// At the end of the sound: the resampler's last samples, a piece a call;
// it goes when it has none left.
int64_t TMediaLibraryState::DrainResampler(std::vector<uint8_t>& buffer) {
  if (!fResampler) return 0;
  const int64_t bytes = ResampledPiece(nullptr, 0, buffer);
  if (bytes <= 0) swr_free(&fResampler);
  return bytes;
}

}  // namespace zel
