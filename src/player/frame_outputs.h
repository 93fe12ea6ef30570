// Where the frames of an export go: numbered PNG files in a folder, or one
// video file. Both are opened before the first frame is drawn, so that a
// place that cannot be written fails at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "video/video_encoder.h"

namespace zel {

class TBitmap;

class TFrameOutput {
 public:
  virtual ~TFrameOutput() = default;
  // The frames arrive in order, each an A8R8G8B8 bitmap of the export's size.
  virtual bool Write(const TBitmap& frame, std::string& error) = 0;
  // Completes the output; an output destroyed unfinished leaves no partial
  // file under a final name.
  virtual bool Finish(std::string& error) = 0;
};

// frame-000000.png, frame-000001.png, ... in the folder, made if missing.
std::unique_ptr<TFrameOutput> OpenPngFrames(const std::string& directory, std::string& error);
// One video file; the settings' size must be one the encoder takes.
std::unique_ptr<TFrameOutput> OpenVideoFrames(const TVideoSettings& settings, std::string& error);

}  // namespace zel
