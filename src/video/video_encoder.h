// Writing a video file from 32-bit frames. The interface knows no codec
// library; the one backend (FFmpeg's libraries) lives in video/ffmpeg/ and is
// reached only through CreateVideoEncoder.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zel {

class TBitmap;

struct TVideoSettings {
  std::string path;  // the finished file; the container comes from its extension (mp4 otherwise)
  int32_t width = 0, height = 0;
  int32_t fps = 30;
  int32_t crf = 20;                  // constant quality: 0 lossless .. 51 worst
  std::string codec = "libx264";     // the encoder's name in the backend
  std::string preset = "medium";     // the encoder's speed against size
};

// Each step answers false with one line in error when it fails. The file
// appears under its name only when Finish succeeds: until then it is written
// under a temporary name beside it, which is removed on failure or when the
// encoder is destroyed unfinished.
class TVideoEncoder {
 public:
  virtual ~TVideoEncoder() = default;

  virtual bool Open(const TVideoSettings& settings, std::string& error) = 0;
  // A frame of exactly the opened size in the A8R8G8B8 format (alpha is
  // ignored); the frames follow one another at the opened rate.
  virtual bool AddFrame(const TBitmap& frame, std::string& error) = 0;
  // Drains the encoder, completes the file and gives it its name.
  virtual bool Finish(std::string& error) = 0;

  virtual int64_t FramesAdded() const = 0;
};

std::unique_ptr<TVideoEncoder> CreateVideoEncoder();

// The temporary name a file is written under until it is complete.
inline std::string PartialVideoPath(const std::string& path) { return path + ".part"; }

}  // namespace zel
