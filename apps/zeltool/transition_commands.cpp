// transition: one frame of a transition between a red slide A and a blue
// slide B, drawn through the catalogue on the offscreen device and saved;
// or, with --describe, the numbers the catalogue computed for it.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "core/streams.h"
#include "effects/draw_filter.h"
#include "effects/transition_catalogue.h"
#include "effects/transition_preview.h"
#include "imaging/bitmap.h"
#include "imaging/image_lib_store.h"
#include "imaging/pixel_format.h"
#include "player/real_slide_filter.h"
#include "render/draw_device.h"
#include "render/drawer_3d.h"
#include "render/engine_3d.h"
#include "show/zel_filter.h"
#include "show/zel_source.h"
#include "tool.h"

namespace zel::tool {

namespace {

constexpr const char* kName = "transition";
constexpr double kDuration = 1000;

struct TTransitionOptions {
  TSlideEffect effect;
  double progress = -1;
  int width = 200, height = 100;
  bool describe = false;
  std::string out;
};

std::optional<double> Number(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(value)) return std::nullopt;
  return value;
}

// KEY=VALUE of the effect's parameters, by their names in lower case.
std::string SetParam(const std::string& text, TEffectParams& p) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos) return "--param needs KEY=VALUE: " + text;
  const std::string key = text.substr(0, equals);
  const auto value = Number(text.substr(equals + 1));
  if (!value) return "--param " + key + " needs a number";
  const auto whole = static_cast<int32_t>(std::lround(*value));
  const auto real = static_cast<float>(*value);
  if (key == "smoothline") p.smoothLine = real;
  else if (key == "broomoffset") p.broomOffset = real;
  else if (key == "rolldiameter") p.rollDiameter = real;
  else if (key == "centerx") p.centerX = whole;
  else if (key == "centery") p.centerY = whole;
  else if (key == "mosaicdx") p.mosaicDX = whole;
  else if (key == "mosaicdy") p.mosaicDY = whole;
  else if (key == "mosaicsc") p.mosaicSC = whole;
  else if (key == "seed") p.seed = whole;
  else return "unknown --param " + key;
  return {};
}

std::string ParseOptions(TArguments arguments, TTransitionOptions& o) {
  o.effect.duration = kDuration;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "--describe") {
      o.describe = true;
      continue;
    }
    if (a.rfind("--", 0) != 0) {
      if (!o.out.empty()) return "too many arguments";
      o.out = a;
      continue;
    }
    if (i + 1 >= arguments.size()) return a + " needs a value";
    const std::string& v = arguments[++i];
    if (a == "--param") {
      if (std::string refusal = SetParam(v, o.effect.params); !refusal.empty()) return refusal;
    } else if (a == "--frame") {
      const size_t x = v.find('x');
      const auto w = Number(v.substr(0, x)), h = x == std::string::npos ? std::nullopt : Number(v.substr(x + 1));
      if (!w || !h || *w < 1 || *h < 1 || *w > 8192 || *h > 8192) return "--frame must be WxH, 1 to 8192 each";
      o.width = static_cast<int>(*w);
      o.height = static_cast<int>(*h);
    } else if (const auto number = Number(v); !number) {
      return a + " needs a number";
    } else if (a == "--class") {
      o.effect.effectClass = static_cast<int32_t>(*number);
    } else if (a == "--variant") {
      o.effect.variant = static_cast<int32_t>(*number);
    } else if (a == "--progress") {
      o.progress = *number;
    } else {
      return "unknown option " + a;
    }
  }
  if (o.describe) return {};
  if (o.out.empty()) return "OUT.png is needed";
  if (!(o.progress >= 0 && o.progress <= 1)) return "--progress must lie in 0..1";
  return {};
}

int Describe(const TTransitionOptions& o) {
  const TRect view{0, 0, o.width, o.height};
  auto filter = MakeTransition(view, o.effect.effectClass, o.effect.variant, nullptr, o.effect.params, kDuration);
  if (!filter) {
    std::printf("none\n");
    return 0;
  }
  std::printf("class %d variant %d smooth %g reverse %d broom %g roll %g\n", filter->EffectClass(), filter->Variant(),
              filter->SmoothWidth(), filter->Reverse() ? 1 : 0, filter->Params().broomOffset,
              std::round(filter->Params().rollDiameter));
  return 0;
}

}  // namespace

int RunTransition(TArguments arguments) {
  TTransitionOptions o;
  if (const std::string refusal = ParseOptions(arguments, o); !refusal.empty()) return Fail(kName, refusal);
  InstallTransitions();
  // Class 18 needs a show to open its effect from: these generated slides
  // have none, so it plays as a cross-fade.
  InstallCustomEffects();
  if (o.describe) return Describe(o);
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  try {
    T3DEngineScope engineScope;
    auto window = TDeviceWindow::Create(o.width, o.height, false, "zeltool transition");
    if (!window) return Fail(kName, "cannot open a device window");
    TDirectBitmap frame(o.width, o.height, FormatA8R8G8B8());
    bool copied = false;
    {
      T3DDrawer drawer;
      drawer.Init(&window->Device());
      drawer.SetFrameNotification([&](TDeviceDrawer& d, TDrawItem*, TFrameStage stage) {
        if (stage == TFrameStage::FrameEnd) copied = d.CopyScreen(frame);
      });
      TColourSlide a(MakeColor(255, 0, 0), o.width, o.height), b(MakeColor(0, 0, 255), o.width, o.height);
      TZelFilter filter(o.effect);
      filter.SetTime(o.progress * kDuration);
      TTransitionFrame root(a, b, filter);
      drawer.Draw(root);
    }
    if (!copied) return Fail(kName, "the device cannot draw");
    std::unique_ptr<TFileStream> out;
    try {
      out = TFileStream::CreateWrite(o.out);
    } catch (const EFileError&) {
      return Fail(kName, "cannot write " + o.out);
    }
    SavePng(frame, *out);
    return 0;
  } catch (const std::exception& e) {
    return Fail(kName, e.what());
  }
}

}  // namespace zel::tool
