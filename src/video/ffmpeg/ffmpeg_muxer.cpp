#include "video/ffmpeg/ffmpeg_muxer.h"

#include <filesystem>
#include <system_error>

#include "video/ffmpeg/ffmpeg_support.h"
#include "video/video_encoder.h"

namespace zel {

TFFmpegMuxer::~TFFmpegMuxer() { Discard(); }

bool TFFmpegMuxer::Open(const std::string& path, std::string& error) {
  RouteFFmpegLog();
  fPath = path;
  fPartial = PartialVideoPath(path);
  // The temporary name ends in ".part": the container is chosen by the
  // final name.
  const AVOutputFormat* format = av_guess_format(nullptr, path.c_str(), nullptr);
  if (!format) format = av_guess_format("mp4", nullptr, nullptr);
  int code = avformat_alloc_output_context2(&fContext, format, nullptr, fPartial.c_str());
  if (code < 0 || !fContext) {
    error = "cannot make a video container for " + path + ": " + AvErrorText(code);
    return false;
  }
  code = avio_open(&fContext->pb, fPartial.c_str(), AVIO_FLAG_WRITE);
  if (code < 0) {
    error = "cannot write " + fPartial + ": " + AvErrorText(code);
    return false;
  }
  return true;
}

bool TFFmpegMuxer::NeedsGlobalHeader() const {
  return fContext && (fContext->oformat->flags & AVFMT_GLOBALHEADER) != 0;
}

AVStream* TFFmpegMuxer::AddStream(const AVCodecContext& encoder, std::string& error) {
  if (!fContext || fHeaderWritten) {
    error = "a stream can be added only before the first packet";
    return nullptr;
  }
  AVStream* stream = avformat_new_stream(fContext, nullptr);
  if (!stream) {
    error = "cannot add a stream to " + fPath;
    return nullptr;
  }
  const int code = avcodec_parameters_from_context(stream->codecpar, &encoder);
  if (code < 0) {
    error = "cannot describe the stream: " + AvErrorText(code);
    return nullptr;
  }
  stream->time_base = encoder.time_base;
  if (encoder.codec_type == AVMEDIA_TYPE_VIDEO) stream->avg_frame_rate = encoder.framerate;
  return stream;
}

bool TFFmpegMuxer::WriteHeader(std::string& error) {
  // The index goes to the front of the file when it is complete, so that a
  // player can start before it has the whole file.
  AVDictionary* options = nullptr;
  if (std::string(fContext->oformat->name).find("mp4") != std::string::npos)
    av_dict_set(&options, "movflags", "+faststart", 0);
  const int code = avformat_write_header(fContext, &options);
  av_dict_free(&options);
  if (code < 0) {
    error = "cannot start " + fPath + ": " + AvErrorText(code);
    return false;
  }
  fHeaderWritten = true;
  return true;
}

bool TFFmpegMuxer::WritePacket(AVPacket& packet, AVRational encoderTimeBase, const AVStream& stream,
                               std::string& error) {
  if (!fHeaderWritten && !WriteHeader(error)) return false;
  // Writing the header may change the stream's time base.
  av_packet_rescale_ts(&packet, encoderTimeBase, stream.time_base);
  packet.stream_index = stream.index;
  const int code = av_interleaved_write_frame(fContext, &packet);
  if (code < 0) {
    error = "cannot write " + fPartial + ": " + AvErrorText(code);
    return false;
  }
  return true;
}

bool TFFmpegMuxer::Finish(std::string& error) {
  if (!fContext) {
    error = "the video file is not open";
    return false;
  }
  if (!fHeaderWritten && !WriteHeader(error)) return false;
  int code = av_write_trailer(fContext);
  const int closed = avio_closep(&fContext->pb);
  if (code >= 0) code = closed;
  if (code < 0) {
    error = "cannot complete " + fPartial + ": " + AvErrorText(code);
    return false;
  }
  std::error_code renameError;
  std::filesystem::rename(fPartial, fPath, renameError);
  if (renameError) {
    error = "cannot rename " + fPartial + " to " + fPath + ": " + renameError.message();
    return false;
  }
  fFinished = true;
  avformat_free_context(fContext);
  fContext = nullptr;
  return true;
}

void TFFmpegMuxer::Discard() {
  if (fContext) {
    if (fContext->pb) avio_closep(&fContext->pb);
    avformat_free_context(fContext);
    fContext = nullptr;
  }
  if (!fFinished && !fPartial.empty()) {
    std::error_code ignored;
    std::filesystem::remove(fPartial, ignored);
  }
}

}  // namespace zel
