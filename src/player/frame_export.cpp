#include "player/frame_export.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <memory>

#include "core/clock.h"
#include "core/log.h"
#include "imaging/bitmap.h"
#include "imaging/pixel_format.h"
#include "ini/ini_document.h"
#include "package/show_locator.h"
#include "player/engine.h"
#include "player/frame_outputs.h"
#include "player/slide_loader.h"
#include "render/draw_device.h"
#include "render/engine_3d.h"
#include "show/zel_source.h"

namespace zel {

namespace {

constexpr int32_t kLargestFrame = 8192;
constexpr int32_t kWorstCrf = 51;
// Steps the engine may take without drawing before the export gives up.
constexpr int kMostIdleSteps = 2000;
// Where the virtual clock of an export starts.
constexpr uint64_t kClockStart = 1000000;

bool ParseNumber(const std::string& text, double& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(value);
}

bool ParseSize(const std::string& text, int32_t& width, int32_t& height) {
  const size_t x = text.find('x');
  double w = 0, h = 0;
  if (x == std::string::npos || !ParseNumber(text.substr(0, x), w) || !ParseNumber(text.substr(x + 1), h)) return false;
  if (w != std::floor(w) || h != std::floor(h) || w < 1 || h < 1 || w > kLargestFrame || h > kLargestFrame) return false;
  width = static_cast<int32_t>(w);
  height = static_cast<int32_t>(h);
  return true;
}

bool TakeOne(const std::string& name, const std::string& value, TExportOptions& o, std::string& error) {
  double number = 0;
  if (name == "--export-frames") {
    o.directory = value;
  } else if (name == "--export-video") {
    o.videoFile = value;
  } else if (name == "--frame") {
    if (!ParseSize(value, o.width, o.height)) error = "--frame must be WxH, each from 1 to 8192";
  } else if (!ParseNumber(value, number)) {
    error = name + " needs a number";
  } else if (name == "--fps") {
    if (number <= 0 || number > 1000 || number != std::floor(number)) error = "--fps must be a whole number from 1";
    o.fps = static_cast<int32_t>(number);
  } else if (name == "--crf") {
    if (number < 0 || number > kWorstCrf || number != std::floor(number))
      error = "--crf must be a whole number from 0 to 51";
    o.crf = static_cast<int32_t>(number);
  } else if (name == "--from") {
    o.from = number;
  } else if (name == "--to") {
    o.to = number;
  } else {
    if (number < 0) error = "--hold must not be negative";
    o.hold = number;
  }
  return error.empty();
}

bool IsExportSwitch(const std::string& a) {
  return a == "--export-frames" || a == "--export-video" || a == "--fps" || a == "--from" || a == "--to" ||
         a == "--frame" || a == "--hold" || a == "--crf";
}

// Fades, timers and pacing run on this clock, which stands still: the
// frames' show times come from the stepper, and no wait costs real time.
struct TVirtualClockScope {
  TVirtualClock clock{kClockStart, false};
  TClockOverride use{clock};
};

// Ctrl+C ends an export between two frames, so that the outputs can take
// away what they had begun instead of leaving a truncated file.
volatile std::sig_atomic_t gInterrupted = 0;

class TInterruptScope {
 public:
  TInterruptScope() : fPrevious(std::signal(SIGINT, [](int) { gInterrupted = 1; })) {}
  ~TInterruptScope() { std::signal(SIGINT, fPrevious); }
  static bool Interrupted() { return gInterrupted != 0; }

 private:
  void (*fPrevious)(int);
};

// "frames 120 of 600 (20 %), 45.2 frames a second, 0:11 left" on one
// line of stderr, redrawn as the export goes.
class TProgress {
 public:
  explicit TProgress(int64_t total) : fTotal(total), fBegan(std::chrono::steady_clock::now()) {}
  void Show(int64_t done, int64_t written) const {
    if (written % 30 != 0 && done != fTotal) return;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - fBegan).count();
    const double rate = seconds > 0 ? static_cast<double>(written) / seconds : 0.0;
    const auto left = rate > 0 ? static_cast<long long>(std::llround(static_cast<double>(fTotal - done) / rate)) : 0LL;
    std::fprintf(stderr, "\rframes %lld of %lld (%lld %%), %.1f frames a second, %lld:%02lld left",
                 static_cast<long long>(done), static_cast<long long>(fTotal),
                 static_cast<long long>(fTotal > 0 ? done * 100 / fTotal : 100), rate, left / 60, left % 60);
  }

 private:
  int64_t fTotal;
  std::chrono::steady_clock::time_point fBegan;
};

// The engine's drawn frame, read back before it is presented.
class TFrameGrabber {
 public:
  TFrameGrabber(int32_t width, int32_t height) : fFrame(width, height, FormatA8R8G8B8()) {}
  void Capture(TDeviceDrawer& drawer) { fCaptured = drawer.CopyScreen(fFrame); }
  // The captured frame, once: the next one must be drawn anew.
  const TBitmap* Take() {
    if (!fCaptured) return nullptr;
    fCaptured = false;
    return &fFrame;
  }

 private:
  TDirectBitmap fFrame;
  bool fCaptured = false;
};

// What the export draws: an engine without a window of its own, stepped
// one frame at a time.
struct TExportScene {
  TExportScene(std::unique_ptr<TZelSource> source, const TExportOptions& options, TDeviceWindow& window,
               int32_t width, int32_t height, const std::string& playerPath)
      : grabber(width, height), engine(std::make_unique<TZelDrawController>(&window.Device()),
                                      EngineOptions(options, width, height, playerPath)) {
    engine.SetCallbacks({nullptr, nullptr, [](const TZelEventData& data) {
                           // Actions that would leave the player are not carried out here.
                           if (data.Code == static_cast<uint32_t>(TViewerMessage::Action) && data.Text)
                             Log().Write("export: action skipped: " + StringToUtf8(data.Text->Text));
                         }});
    engine.SetFrameSink([this](TDeviceDrawer& drawer) { grabber.Capture(drawer); });
    engine.EnableStepping();
    engine.OpenSource(std::move(source), options.from, false);
  }
  static TZelEngine::TOptions EngineOptions(const TExportOptions& options, int32_t width, int32_t height,
                                            const std::string& playerPath) {
    TZelEngine::TOptions result;
    result.playerFileName = Utf8ToString(playerPath);
    result.screenWidth = width;
    result.screenHeight = height;
    result.cover = options.cover;
    return result;
  }

  TFrameGrabber grabber;
  TZelEngine engine;
};

// Steps the engine frame by frame and hands what it draws to the output.
template <typename TFail>
int RunExport(std::unique_ptr<TZelSource> source, const TExportOptions& options, double to, int32_t width,
              int32_t height, const std::string& playerPath, TFrameOutput& output, const TFail& fail) {
  TVirtualClockScope clock;
  T3DEngineScope engineScope;
  auto window = TDeviceWindow::Create(width, height, false, "zelplayer export");
  if (!window) return fail("cannot open a render device for the frames");
  TExportScene scene(std::move(source), options, *window, width, height, playerPath);
  TZelEngine& engine = scene.engine;
  const TInterruptScope interrupt;

  const double step = 1000.0 / options.fps;
  const auto total = static_cast<int64_t>(std::llround((to - options.from) / step));
  const TProgress progress(total);
  int64_t showFrame = 0, written = 0;
  double held = 0;
  int idle = 0;
  std::string error;
  while (showFrame < total) {
    if (TInterruptScope::Interrupted()) return fail("interrupted");
    engine.SetStepperTime(options.from + static_cast<double>(showFrame) * step);
    engine.RunStep();
    const TBitmap* frame = engine.FrameDrawn() ? scene.grabber.Take() : nullptr;
    if (!frame) {
      if (++idle > kMostIdleSteps) return fail("the show never became ready to draw at " + std::to_string(showFrame));
      continue;
    }
    idle = 0;
    if (!output.Write(*frame, error)) return fail(error);
    ++written;
    // The program's clock moves by a frame, so fades and timers run at the
    // frames' pace.
    clock.clock.Set(kClockStart + static_cast<uint64_t>(std::llround(static_cast<double>(written) * step)));
    if (engine.Waiting()) {
      // A slide that waits for the user is held, then the show goes on as
      // "nextslide" would.
      held += step;
      if (held < options.hold) continue;
      held = 0;
      engine.ContinueFromBarrier();
    }
    ++showFrame;
    progress.Show(showFrame, written);
  }
  std::fprintf(stderr, "\n");
  engine.StopEngine();
  if (!output.Finish(error)) return fail(error);
  return 0;
}

// Opens where the frames go; a video's size is made even first, as 4:2:0
// video needs it.
std::unique_ptr<TFrameOutput> OpenOutput(const TExportOptions& options, int32_t& width, int32_t& height,
                                         std::string& error) {
  if (options.videoFile.empty()) return OpenPngFrames(options.directory, error);
  const int32_t evenWidth = width & ~1, evenHeight = height & ~1;
  if (evenWidth < 2 || evenHeight < 2) {
    error = "the frame " + std::to_string(width) + "x" + std::to_string(height) + " is too small for a video";
    return nullptr;
  }
  if (evenWidth != width || evenHeight != height) {
    std::fprintf(stderr, "zelplayer: the frame %dx%d is rounded to %dx%d for the video\n", width, height, evenWidth,
                 evenHeight);
    width = evenWidth;
    height = evenHeight;
  }
  TVideoSettings settings;
  settings.path = options.videoFile;
  settings.width = width;
  settings.height = height;
  settings.fps = options.fps;
  settings.crf = options.crf.value_or(settings.crf);
  return OpenVideoFrames(settings, error);
}

}  // namespace

bool TakeExportSwitches(std::vector<std::string>& arguments, TExportOptions& options, bool& requested,
                        std::string& error) {
  requested = false;
  std::vector<std::string> kept;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (!IsExportSwitch(a)) {
      kept.push_back(a);
      continue;
    }
    if (i + 1 >= arguments.size()) {
      error = a + " needs a value";
      return false;
    }
    requested = requested || a == "--export-frames" || a == "--export-video";
    if (!TakeOne(a, arguments[++i], options, error)) return false;
  }
  arguments = std::move(kept);
  if (!options.directory.empty() && !options.videoFile.empty()) {
    error = "--export-frames DIR and --export-video FILE exclude each other: give one of them";
    return false;
  }
  if (!requested && (options.to || options.from != 0)) {
    error = "--from, --to, --fps, --frame and --hold go with --export-frames DIR or --export-video FILE";
    return false;
  }
  if (options.crf && options.videoFile.empty()) {
    error = "--crf goes with --export-video FILE";
    return false;
  }
  return true;
}

int ExportFrames(TZelShowLocator& show, const TExportOptions& options, const std::string& playerPath) {
  const auto fail = [](const std::string& message) {
    std::fprintf(stderr, "zelplayer: %s\n", message.c_str());
    return 1;
  };
  std::unique_ptr<TZelSource> source;
  try {
    source = std::make_unique<TZelSource>(&show.Accessor(), false, show.Project(), false, Utf8ToString(playerPath));
  } catch (const std::exception& e) {
    return fail(e.what());
  }
  const bool repeats = source->RepeatMode() == TRepeatMode::Repeat;
  if (!options.to && repeats) return fail("the show repeats: give --to MS for the end of the export");
  const double to = options.to.value_or(source->TotalLength());
  if (!(options.from < to)) return fail("--from must lie before --to (the show's end without --to)");
  int32_t width = options.width, height = options.height;
  if (width == 0) {
    width = source->MainSection().ReadInteger(u"opt_scr_width", 640);
    height = source->MainSection().ReadInteger(u"opt_scr_height", 480);
  }
  if (width < 1 || height < 1 || width > kLargestFrame || height > kLargestFrame)
    return fail("the frame size must be 1 to 8192 pixels a side: give --frame WxH");
  std::string error;
  const auto output = OpenOutput(options, width, height, error);
  if (!output) return fail(error);
  return RunExport(std::move(source), options, to, width, height, playerPath, *output, fail);
}

}  // namespace zel
