// Reads a video file back with FFmpeg's libraries, for tests: its size,
// rate, colour tags and every frame as RGB (converted with the matrix the
// stream is tagged with) and as its luma plane.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zel::testing_support {

struct TDecodedClip {
  std::string error;  // empty when the file was read to its end
  std::string codec, colorSpace, colorRange, pixelFormat;
  int width = 0, height = 0;
  AVRational frameRate{0, 1};
  std::vector<std::vector<uint32_t>> rgb;  // 0xRRGGBB, rows top down
  std::vector<std::vector<uint8_t>> luma;

  size_t FrameCount() const { return rgb.size(); }
  uint32_t Rgb(size_t frame, int x, int y) const { return rgb[frame][static_cast<size_t>(y * width + x)]; }
  int Luma(size_t frame, int x, int y) const { return luma[frame][static_cast<size_t>(y * width + x)]; }
};

// Whether two colours differ by at most tolerance in each channel.
inline bool ColorNear(uint32_t a, uint32_t b, int tolerance) {
  for (int shift : {0, 8, 16}) {
    const int d = static_cast<int>(a >> shift & 0xFF) - static_cast<int>(b >> shift & 0xFF);
    if (d > tolerance || d < -tolerance) return false;
  }
  return true;
}

namespace clip_reader_detail {

struct TFormatCloser {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct TCodecFreer {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct TFrameFreer {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct TPacketFreer {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};

inline void KeepFrame(const AVFrame& frame, TDecodedClip& clip) {
  const int w = frame.width, h = frame.height;
  std::vector<uint8_t> luma(static_cast<size_t>(w * h));
  for (int y = 0; y < h; ++y)
    std::copy_n(frame.data[0] + static_cast<ptrdiff_t>(y) * frame.linesize[0], w, luma.begin() + y * w);
  clip.luma.push_back(std::move(luma));
  SwsContext* sws = sws_getContext(w, h, static_cast<AVPixelFormat>(frame.format), w, h, AV_PIX_FMT_BGR0,
                                   SWS_POINT, nullptr, nullptr, nullptr);
  const int space = frame.colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_ITU601;
  sws_setColorspaceDetails(sws, sws_getCoefficients(space), frame.color_range == AVCOL_RANGE_JPEG,
                           sws_getCoefficients(space), 1, 0, 1 << 16, 1 << 16);
  std::vector<uint32_t> pixels(static_cast<size_t>(w * h));
  uint8_t* out[1] = {reinterpret_cast<uint8_t*>(pixels.data())};
  const int outStride[1] = {w * 4};
  sws_scale(sws, frame.data, frame.linesize, 0, h, out, outStride);
  sws_freeContext(sws);
  for (uint32_t& p : pixels) p &= 0xFFFFFF;
  clip.rgb.push_back(std::move(pixels));
}

inline bool Drain(AVCodecContext& codec, AVFrame& frame, TDecodedClip& clip) {
  int code;
  while ((code = avcodec_receive_frame(&codec, &frame)) >= 0) {
    KeepFrame(frame, clip);
    av_frame_unref(&frame);
  }
  return code == AVERROR(EAGAIN) || code == AVERROR_EOF;
}

}  // namespace clip_reader_detail

inline TDecodedClip DecodeClip(const std::string& path) {
  using namespace clip_reader_detail;
  TDecodedClip clip;
  AVFormatContext* rawFormat = nullptr;
  if (avformat_open_input(&rawFormat, path.c_str(), nullptr, nullptr) < 0) {
    clip.error = "cannot open " + path;
    return clip;
  }
  std::unique_ptr<AVFormatContext, TFormatCloser> format(rawFormat);
  const int index = avformat_find_stream_info(format.get(), nullptr) < 0
                        ? -1
                        : av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (index < 0) {
    clip.error = "no video stream in " + path;
    return clip;
  }
  const AVStream* stream = format->streams[index];
  const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
  std::unique_ptr<AVCodecContext, TCodecFreer> codec(avcodec_alloc_context3(decoder));
  if (!decoder || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0 ||
      avcodec_open2(codec.get(), decoder, nullptr) < 0) {
    clip.error = "cannot decode " + path;
    return clip;
  }
  clip.codec = decoder->name;
  clip.width = stream->codecpar->width;
  clip.height = stream->codecpar->height;
  clip.frameRate = stream->avg_frame_rate;
  const char* space = av_color_space_name(stream->codecpar->color_space);
  const char* range = av_color_range_name(stream->codecpar->color_range);
  const char* pixels = av_get_pix_fmt_name(static_cast<AVPixelFormat>(stream->codecpar->format));
  clip.colorSpace = space ? space : "";
  clip.colorRange = range ? range : "";
  clip.pixelFormat = pixels ? pixels : "";
  std::unique_ptr<AVFrame, TFrameFreer> frame(av_frame_alloc());
  std::unique_ptr<AVPacket, TPacketFreer> packet(av_packet_alloc());
  while (av_read_frame(format.get(), packet.get()) >= 0) {
    const bool ours = packet->stream_index == index;
    const bool sent = !ours || avcodec_send_packet(codec.get(), packet.get()) >= 0;
    av_packet_unref(packet.get());
    if (!sent || !Drain(*codec, *frame, clip)) {
      clip.error = "a broken packet in " + path;
      return clip;
    }
  }
  avcodec_send_packet(codec.get(), nullptr);
  if (!Drain(*codec, *frame, clip)) clip.error = "a broken end in " + path;
  return clip;
}

}  // namespace zel::testing_support
