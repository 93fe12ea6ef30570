#include "player/frame_export.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "core/clock.h"
#include "core/log.h"
#include "core/streams.h"
#include "imaging/bitmap.h"
#include "imaging/image_lib_store.h"
#include "imaging/pixel_format.h"
#include "ini/ini_document.h"
#include "package/show_locator.h"
#include "player/engine.h"
#include "player/slide_loader.h"
#include "render/draw_device.h"
#include "render/engine_3d.h"
#include "show/zel_source.h"

namespace zel {

namespace {

constexpr int32_t kLargestFrame = 8192;
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
  } else if (name == "--frame") {
    if (!ParseSize(value, o.width, o.height)) error = "--frame must be WxH, each from 1 to 8192";
  } else if (!ParseNumber(value, number)) {
    error = name + " needs a number";
  } else if (name == "--fps") {
    if (number <= 0 || number > 1000 || number != std::floor(number)) error = "--fps must be a whole number from 1";
    o.fps = static_cast<int32_t>(number);
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

// The frames' writer: each frame is written under a temporary name and
// renamed when complete, so no half-written frame ever bears a frame name.
class TFrameWriter {
 public:
  TFrameWriter(std::filesystem::path directory, int32_t width, int32_t height)
      : fDirectory(std::move(directory)), fFrame(width, height, FormatA8R8G8B8()) {}
  bool Capture(TDeviceDrawer& drawer) { return fCaptured = drawer.CopyScreen(fFrame); }
  bool Captured() const { return fCaptured; }
  void Write(int64_t index) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06lld.png", static_cast<long long>(index));
    const std::filesystem::path partial = fDirectory / (std::string(name) + ".part");
    {
      auto stream = TFileStream::CreateWrite(partial.string());
      SavePng(fFrame, *stream, TPngWriting::FastOpaque);
    }
    std::filesystem::rename(partial, fDirectory / name);
    fCaptured = false;
  }

 private:
  std::filesystem::path fDirectory;
  TDirectBitmap fFrame;
  bool fCaptured = false;
};

std::string CheckDirectory(const std::string& directory) {
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error || !std::filesystem::is_directory(directory)) return "cannot make the folder " + directory;
  const std::filesystem::path probe = std::filesystem::path(directory) / ".zel-export-probe";
  try {
    TFileStream::CreateWrite(probe.string());
  } catch (const std::exception&) {
    return "cannot write into " + directory;
  }
  std::filesystem::remove(probe, error);
  return {};
}

// Fades, timers and pacing run on this clock, which stands still: the
// frames' show times come from the stepper, and no wait costs real time.
struct TVirtualClockScope {
  TVirtualClock clock{kClockStart, false};
  TClockOverride use{clock};
};

// Steps the engine frame by frame and writes what it draws.
template <typename TFail>
int RunExport(std::unique_ptr<TZelSource> source, const TExportOptions& options, double to, int32_t width,
              int32_t height, const std::string& playerPath, const TFail& fail) {
  TVirtualClockScope clock;
  T3DEngineScope engineScope;
  auto window = TDeviceWindow::Create(width, height, false, "zelplayer export");
  if (!window) return fail("cannot open a render device for the frames");
  TFrameWriter writer(options.directory, width, height);
  TZelEngine::TOptions engineOptions;
  engineOptions.playerFileName = Utf8ToString(playerPath);
  engineOptions.screenWidth = width;
  engineOptions.screenHeight = height;
  engineOptions.cover = options.cover;
  TZelEngine engine(std::make_unique<TZelDrawController>(&window->Device()), engineOptions);
  engine.SetCallbacks({nullptr, nullptr, [](const TZelEventData& data) {
                         // Actions that would leave the player are not carried out here.
                         if (data.Code == static_cast<uint32_t>(TViewerMessage::Action) && data.Text)
                           Log().Write("export: action skipped: " + StringToUtf8(data.Text->Text));
                       }});
  engine.SetFrameSink([&writer](TDeviceDrawer& drawer) { writer.Capture(drawer); });
  engine.EnableStepping();
  engine.OpenSource(std::move(source), options.from, false);

  const double step = 1000.0 / options.fps;
  const auto total = static_cast<int64_t>(std::llround((to - options.from) / step));
  const auto began = std::chrono::steady_clock::now();
  int64_t showFrame = 0, written = 0;
  double held = 0;
  int idle = 0;
  while (showFrame < total) {
    engine.SetStepperTime(options.from + static_cast<double>(showFrame) * step);
    engine.RunStep();
    if (!engine.FrameDrawn() || !writer.Captured()) {
      if (++idle > kMostIdleSteps) return fail("the show never became ready to draw at " + std::to_string(showFrame));
      continue;
    }
    idle = 0;
    writer.Write(written++);
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
    if (written % 30 == 0 || showFrame == total) {
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
      std::fprintf(stderr, "\rframes %lld of %lld, %.1f frames a second", static_cast<long long>(showFrame),
                   static_cast<long long>(total), seconds > 0 ? static_cast<double>(written) / seconds : 0.0);
    }
  }
  std::fprintf(stderr, "\n");
  engine.StopEngine();
  return 0;
}

}  // namespace

bool TakeExportSwitches(std::vector<std::string>& arguments, TExportOptions& options, bool& requested,
                        std::string& error) {
  requested = false;
  std::vector<std::string> kept;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    const bool ours = a == "--export-frames" || a == "--fps" || a == "--from" || a == "--to" || a == "--frame" ||
                      a == "--hold";
    if (!ours) {
      kept.push_back(a);
      continue;
    }
    if (i + 1 >= arguments.size()) {
      error = a + " needs a value";
      return false;
    }
    requested = requested || a == "--export-frames";
    if (!TakeOne(a, arguments[++i], options, error)) return false;
  }
  arguments = std::move(kept);
  if (!requested && (options.to || options.from != 0)) {
    error = "--from, --to, --fps, --frame and --hold go with --export-frames DIR";
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
  if (const std::string problem = CheckDirectory(options.directory); !problem.empty()) return fail(problem);
  return RunExport(std::move(source), options, to, width, height, playerPath, fail);
}

}  // namespace zel
