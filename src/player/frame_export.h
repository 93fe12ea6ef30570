// Exporting a show without a display, as PNG frames or as one video file:
// the engine is stepped on this thread with the show time of frame k set to exactly
// from + k x 1000 / fps, while the program's clock runs in virtual time, so
// fades and pacing cost no real waiting.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zel {

class TZelShowLocator;

struct TExportOptions {
  std::string directory;          // --export-frames
  std::string videoFile;          // --export-video
  std::optional<int32_t> crf;     // the video's quality; the encoder's default without it
  int32_t fps = 30;
  double from = 0;
  std::optional<double> to;
  int32_t width = 0, height = 0;  // 0: the show's design size
  double hold = 3000;             // ms a slide that waits is held
  bool cover = false;
};

// Takes our "--export-frames" and "--export-video" switches out of the
// arguments, so that the show's own switches never see them. Returns false
// with the reason when one is malformed or the two exports are both asked
// for; requested tells whether an export was asked for.
bool TakeExportSwitches(std::vector<std::string>& arguments, TExportOptions& options, bool& requested,
                        std::string& error);

// Exports the opened show; 0 on success, else 1 after one line on stderr.
// A video's odd frame size is rounded down to even, with a note on stderr.
int ExportFrames(TZelShowLocator& show, const TExportOptions& options, const std::string& playerPath);

}  // namespace zel
