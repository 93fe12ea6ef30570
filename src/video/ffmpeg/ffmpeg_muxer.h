// One output file written through libavformat. The muxer owns the format
// context: streams are added while it is open and before the first packet,
// when the header goes out, so that an audio stream can join the video.
// The file is written under a temporary name and renamed by Finish; an
// unfinished muxer removes its temporary file.
#pragma once

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace zel {

class TFFmpegMuxer {
 public:
  TFFmpegMuxer() = default;
  TFFmpegMuxer(const TFFmpegMuxer&) = delete;
  TFFmpegMuxer& operator=(const TFFmpegMuxer&) = delete;
  ~TFFmpegMuxer();

  // Chooses the container by the name (mp4 when the name says nothing) and
  // opens the temporary file, so that an unwritable place fails here.
  bool Open(const std::string& path, std::string& error);
  // Encoders must know before they open whether the container keeps their
  // headers apart (mp4 does).
  bool NeedsGlobalHeader() const;
  // A stream carrying what the opened encoder makes.
  AVStream* AddStream(const AVCodecContext& encoder, std::string& error);
  // Writes a packet in the encoder's time base; the header goes out before
  // the first one.
  bool WritePacket(AVPacket& packet, AVRational encoderTimeBase, const AVStream& stream, std::string& error);
  // Completes the file and gives it its name.
  bool Finish(std::string& error);

  const std::string& PartialPath() const { return fPartial; }

 private:
  bool WriteHeader(std::string& error);
  void Discard();

  AVFormatContext* fContext = nullptr;
  std::string fPath, fPartial;
  bool fHeaderWritten = false;
  bool fFinished = false;
};

}  // namespace zel
