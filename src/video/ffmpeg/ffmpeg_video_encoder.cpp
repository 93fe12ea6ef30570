#include "video/ffmpeg/ffmpeg_video_encoder.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "imaging/bitmap.h"
#include "imaging/pixel_format.h"
#include "video/ffmpeg/ffmpeg_support.h"

namespace zel {

namespace {

// A key frame every few seconds keeps seeking quick; a still slide costs
// little either way.
constexpr int kKeyFrameSeconds = 5;

std::string SizeText(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

// The distance between rows when the bitmap's rows lie evenly in memory,
// else 0.
ptrdiff_t EvenStride(const TBitmap& frame) {
  if (frame.Height() < 2) return static_cast<ptrdiff_t>(frame.Width()) * 4;
  const uint8_t* first = frame.ScanLine(0);
  const ptrdiff_t stride = frame.ScanLine(1) - first;
  for (int y = 2; y < frame.Height(); ++y)
    if (frame.ScanLine(y) != first + stride * y) return 0;
  return stride;
}

}  // namespace

TFFmpegVideoEncoder::~TFFmpegVideoEncoder() { Release(); }

bool TFFmpegVideoEncoder::Open(const TVideoSettings& settings, std::string& error) {
  if (fOpen) {
    error = "the video encoder is open already";
    return false;
  }
  fSettings = settings;
  if (settings.width < 1 || settings.height < 1 || settings.fps < 1) {
    error = "the video needs a frame size and a frame rate";
    return false;
  }
  if (!fMuxer.Open(settings.path, error) || !OpenCodec(error) || !OpenConverter(error)) return false;
  fStream = fMuxer.AddStream(*fCodec, error);
  if (!fStream) return false;
  fFrame = av_frame_alloc();
  fPacket = av_packet_alloc();
  if (!fFrame || !fPacket) {
    error = "out of memory for the video frames";
    return false;
  }
  fFrame->format = fCodec->pix_fmt;
  fFrame->width = fCodec->width;
  fFrame->height = fCodec->height;
  if (const int code = av_frame_get_buffer(fFrame, 0); code < 0) {
    error = "cannot allocate a video frame: " + AvErrorText(code);
    return false;
  }
  fOpen = true;
  return true;
}

void TFFmpegVideoEncoder::ConfigureCodec(AVCodecContext& codec) const {
  codec.width = fSettings.width;
  codec.height = fSettings.height;
  codec.pix_fmt = AV_PIX_FMT_YUV420P;
  codec.time_base = {1, fSettings.fps};
  codec.framerate = {fSettings.fps, 1};
  codec.sample_aspect_ratio = {1, 1};
  codec.gop_size = fSettings.fps * kKeyFrameSeconds;
  codec.thread_count = 0;  // as many as the machine has
  // The matrix swscale converts with, written into the stream so that a
  // player converts back with the same one.
  codec.colorspace = AVCOL_SPC_BT709;
  codec.color_primaries = AVCOL_PRI_BT709;
  codec.color_trc = AVCOL_TRC_BT709;
  codec.color_range = AVCOL_RANGE_MPEG;
  if (fMuxer.NeedsGlobalHeader()) codec.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  // Options that another encoder may not know are left to its defaults.
  av_opt_set(codec.priv_data, "preset", fSettings.preset.c_str(), 0);
  av_opt_set(codec.priv_data, "crf", std::to_string(fSettings.crf).c_str(), 0);
}

bool TFFmpegVideoEncoder::OpenCodec(std::string& error) {
  const AVCodec* encoder = avcodec_find_encoder_by_name(fSettings.codec.c_str());
  if (!encoder || encoder->type != AVMEDIA_TYPE_VIDEO) {
    error = "the video encoder " + fSettings.codec + " is missing from FFmpeg's libraries";
    return false;
  }
  fCodec = avcodec_alloc_context3(encoder);
  if (!fCodec) {
    error = "out of memory for the video encoder";
    return false;
  }
  ConfigureCodec(*fCodec);
  // 4:2:0 video has one colour sample for two pixels each way. Refused
  // here rather than by the encoder, whose failed open leaks what it had
  // set up.
  if (fSettings.width % 2 != 0 || fSettings.height % 2 != 0) {
    error = "the video encoder " + fSettings.codec + " refuses the frame " +
            SizeText(fSettings.width, fSettings.height) + ": 4:2:0 video needs even sides";
    return false;
  }
  if (const int code = avcodec_open2(fCodec, encoder, nullptr); code < 0) {
    error = "the video encoder " + fSettings.codec + " refuses the frame " +
            SizeText(fSettings.width, fSettings.height) + " at " + std::to_string(fSettings.fps) +
            " frames a second: " + AvErrorText(code);
    return false;
  }
  return true;
}

bool TFFmpegVideoEncoder::OpenConverter(std::string& error) {
  // The bitmaps are A8R8G8B8 words: B, G, R and an unused byte in memory.
  fConverter = sws_getContext(fSettings.width, fSettings.height, AV_PIX_FMT_BGR0, fSettings.width,
                              fSettings.height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!fConverter) {
    error = "cannot convert " + SizeText(fSettings.width, fSettings.height) + " frames to YUV 4:2:0";
    return false;
  }
  const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
  // Full-range RGB in, limited-range YUV out, as the stream is tagged.
  sws_setColorspaceDetails(fConverter, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
  return true;
}

bool TFFmpegVideoEncoder::ConvertFrame(const TBitmap& frame, std::string& error) {
  if (frame.Format() != FormatA8R8G8B8() || frame.Width() != fSettings.width ||
      frame.Height() != fSettings.height) {
    error = "a video frame must be a " + SizeText(fSettings.width, fSettings.height) + " A8R8G8B8 bitmap";
    return false;
  }
  if (const int code = av_frame_make_writable(fFrame); code < 0) {
    error = "cannot reuse the video frame: " + AvErrorText(code);
    return false;
  }
  const uint8_t* rows = frame.ScanLine(0);
  ptrdiff_t stride = EvenStride(frame);
  if (stride == 0) {
    const size_t rowBytes = static_cast<size_t>(frame.Width()) * 4;
    fStaging.resize(rowBytes * static_cast<size_t>(frame.Height()));
    for (int y = 0; y < frame.Height(); ++y)
      std::memcpy(fStaging.data() + rowBytes * static_cast<size_t>(y), frame.ScanLine(y), rowBytes);
    rows = fStaging.data();
    stride = static_cast<ptrdiff_t>(rowBytes);
  }
  const int strides[1] = {static_cast<int>(stride)};
  sws_scale(fConverter, &rows, strides, 0, frame.Height(), fFrame->data, fFrame->linesize);
  return true;
}

bool TFFmpegVideoEncoder::AddFrame(const TBitmap& frame, std::string& error) {
  if (!fOpen) {
    error = "the video encoder is not open";
    return false;
  }
  if (!ConvertFrame(frame, error)) return false;
  fFrame->pts = fFrames;
  if (!Encode(fFrame, error)) return false;
  ++fFrames;
  return true;
}

bool TFFmpegVideoEncoder::Encode(const AVFrame* frame, std::string& error) {
  int code = avcodec_send_frame(fCodec, frame);
  if (code < 0) {
    error = "the video encoder failed: " + AvErrorText(code);
    return false;
  }
  while ((code = avcodec_receive_packet(fCodec, fPacket)) >= 0) {
    const bool written = fMuxer.WritePacket(*fPacket, fCodec->time_base, *fStream, error);
    av_packet_unref(fPacket);
    if (!written) return false;
  }
  if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return true;
  error = "the video encoder failed: " + AvErrorText(code);
  return false;
}

bool TFFmpegVideoEncoder::Finish(std::string& error) {
  if (!fOpen) {
    error = "the video encoder is not open";
    return false;
  }
  if (fFrames == 0) {
    error = "the video has no frames";
    return false;
  }
  if (!Encode(nullptr, error) || !fMuxer.Finish(error)) return false;
  fOpen = false;
  return true;
}

void TFFmpegVideoEncoder::Release() {
  sws_freeContext(fConverter);
  fConverter = nullptr;
  av_frame_free(&fFrame);
  av_packet_free(&fPacket);
  avcodec_free_context(&fCodec);
}

std::unique_ptr<TVideoEncoder> CreateVideoEncoder() { return std::make_unique<TFFmpegVideoEncoder>(); }

}  // namespace zel
