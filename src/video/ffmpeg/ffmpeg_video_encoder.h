// The video encoder on FFmpeg's libraries: frames converted once each by
// swscale from BGRA to YUV 4:2:0 with the BT.709 matrix in limited range
// (and tagged so), encoded (H.264 through libx264 by default) and written
// by a TFFmpegMuxer.
#pragma once

#include <vector>

#include "video/ffmpeg/ffmpeg_muxer.h"
#include "video/video_encoder.h"

struct SwsContext;

namespace zel {

class TFFmpegVideoEncoder : public TVideoEncoder {
 public:
  TFFmpegVideoEncoder() = default;
  ~TFFmpegVideoEncoder() override;

  bool Open(const TVideoSettings& settings, std::string& error) override;
  bool AddFrame(const TBitmap& frame, std::string& error) override;
  bool Finish(std::string& error) override;
  int64_t FramesAdded() const override { return fFrames; }

  // Between Open and the first frame further streams can join the file.
  TFFmpegMuxer& Muxer() { return fMuxer; }

 private:
  bool OpenCodec(std::string& error);
  void ConfigureCodec(AVCodecContext& codec) const;
  bool OpenConverter(std::string& error);
  bool ConvertFrame(const TBitmap& frame, std::string& error);
  // Hands a frame (null: the end) to the encoder and writes every packet it
  // has ready.
  bool Encode(const AVFrame* frame, std::string& error);
  void Release();

  TVideoSettings fSettings;
  TFFmpegMuxer fMuxer;
  AVCodecContext* fCodec = nullptr;
  AVStream* fStream = nullptr;
  SwsContext* fConverter = nullptr;
  AVFrame* fFrame = nullptr;
  AVPacket* fPacket = nullptr;
  std::vector<uint8_t> fStaging;  // rows of a bitmap whose rows are not evenly spaced
  int64_t fFrames = 0;
  bool fOpen = false;
};

}  // namespace zel
