// draw-image: one picture drawn once through the object drawer on the
// offscreen device, as a show would draw it, and the frame saved.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "core/streams.h"
#include "core/strings.h"
#include "imaging/bitmap_store.h"
#include "imaging/image_lib_store.h"
#include "imaging/picture_loading.h"
#include "imaging/pixel_format.h"
#include "package/file_accessor.h"
#include "render/draw_device.h"
#include "render/drawer_3d.h"
#include "render/engine_3d.h"
#include "render/tiled_texture.h"
#include "tool.h"

namespace zel::tool {

namespace {

constexpr const char* kName = "draw-image";

struct TDrawImageOptions {
  std::string picture, out;
  int frameWidth = 0, frameHeight = 0;
  std::optional<TFloatPoint> at;
  double scale = 1, opacity = 100, blur = 0;
  int level = 0;
  bool softEdges = false;
  std::optional<TColor> tint;
  TColor background = 0xFF000000;
};

std::optional<double> ParseNumber(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(value)) return std::nullopt;
  return value;
}

// "A,B" or "A,B,C" of numbers.
bool ParseList(const std::string& text, double* values, int count) {
  size_t start = 0;
  for (int i = 0; i < count; ++i) {
    const size_t comma = text.find(',', start);
    if ((comma == std::string::npos) != (i == count - 1)) return false;
    const auto value = ParseNumber(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (!value) return false;
    values[i] = *value;
    start = comma + 1;
  }
  return true;
}

std::optional<TColor> ParseColor(const std::string& text) {
  double rgb[3];
  if (!ParseList(text, rgb, 3)) return std::nullopt;
  for (double c : rgb) {
    if (c < 0 || c > 255 || c != std::floor(c)) return std::nullopt;
  }
  return MakeColor(static_cast<uint32_t>(rgb[0]), static_cast<uint32_t>(rgb[1]), static_cast<uint32_t>(rgb[2]));
}

// The options, or the message that refuses them.
std::string ParseOptions(TArguments arguments, TDrawImageOptions& o) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (a == "--soft-edges") {
      o.softEdges = true;
    } else if (a.rfind("--", 0) == 0 && !hasValue) {
      return a + " needs a value";
    } else if (a == "--frame") {
      double size[2];
      const std::string& v = arguments[++i];
      const size_t x = v.find_first_of("xX");
      if (x == std::string::npos || !ParseList(v.substr(0, x) + "," + v.substr(x + 1), size, 2) || size[0] < 1 ||
          size[1] < 1 || size[0] > 8192 || size[1] > 8192 || size[0] != std::floor(size[0]) || size[1] != std::floor(size[1]))
        return "the frame must be WxH, 1 to 8192 each";
      o.frameWidth = static_cast<int>(size[0]);
      o.frameHeight = static_cast<int>(size[1]);
    } else if (a == "--at") {
      double xy[2];
      if (!ParseList(arguments[++i], xy, 2)) return "--at must be X,Y";
      o.at = TFloatPoint{static_cast<float>(xy[0]), static_cast<float>(xy[1])};
    } else if (a == "--scale") {
      const auto v = ParseNumber(arguments[++i]);
      if (!v || *v <= 0 || *v > 1000) return "the scale must be above 0 and at most 1000";
      o.scale = *v;
    } else if (a == "--opacity") {
      const auto v = ParseNumber(arguments[++i]);
      if (!v || *v < 0 || *v > 100) return "the opacity must be 0 to 100";
      o.opacity = *v;
    } else if (a == "--level") {
      const auto v = ParseNumber(arguments[++i]);
      if (!v || *v < 0 || *v > 30 || *v != std::floor(*v)) return "the level must be 0 to 30";
      o.level = static_cast<int>(*v);
    } else if (a == "--blur") {
      const auto v = ParseNumber(arguments[++i]);
      if (!v || *v < 0 || *v > 1000) return "the blur must be 0 to 1000";
      o.blur = *v;
    } else if (a == "--tint" || a == "--background") {
      const auto color = ParseColor(arguments[++i]);
      if (!color) return a + " must be R,G,B with each 0 to 255";
      if (a == "--tint") {
        o.tint = color;
      } else {
        o.background = *color;
      }
    } else if (a.rfind("--", 0) == 0) {
      return "unknown option " + a;
    } else if (o.picture.empty()) {
      o.picture = a;
    } else if (o.out.empty()) {
      o.out = a;
    } else {
      return "too many arguments";
    }
  }
  return o.picture.empty() || o.out.empty() ? "FILE and OUT.png are needed" : "";
}

// The picture at its place, with the whole-picture blur the options ask.
class TPictureItem : public TDrawItem {
 public:
  TPictureItem(TImage& picture, const TDrawImageOptions& o, TImageDrawParams params, TFloatPoint at)
      : fPicture(picture), fOptions(o), fParams(params), fAt(at) {}
  float GetBlur() const override { return static_cast<float>(fOptions.blur); }
  void Draw(TDeviceDrawer& drawer) override {
    const double s = fOptions.scale;
    drawer.DrawImage(fPicture, {fAt.x, fAt.y, 0}, fParams, {s, 0, 0}, {0, s, 0}, {0, 0});
  }

 private:
  TImage& fPicture;
  const TDrawImageOptions& fOptions;
  TImageDrawParams fParams;
  TFloatPoint fAt;
};

// The frame: the background, then the picture (blurred on its own).
class TFrameItem : public TDrawItem {
 public:
  TFrameItem(TPictureItem& picture, TColor background) : fPicture(picture), fBackground(background) {}
  void Draw(TDeviceDrawer& drawer) override {
    drawer.Clear(fBackground, true);
    drawer.Draw(fPicture);
  }

 private:
  TPictureItem& fPicture;
  TColor fBackground;
};

std::unique_ptr<TImage> LoadThroughAccessor(const std::string& name) {
  InstallPictureLoading();
  auto picture = DefaultAccessor().LoadPicture(Utf8ToString(name));
  if (!picture || picture->IsPlaceholder()) return nullptr;
  TRef<TBitmapStore> store(dynamic_cast<TBitmapStore*>(picture->Store().Get()));
  if (!store) return nullptr;
  return std::make_unique<TImage>(store);
}

}  // namespace

int RunDrawImage(TArguments arguments) {
  TDrawImageOptions o;
  if (const std::string refusal = ParseOptions(arguments, o); !refusal.empty()) return Fail(kName, refusal);
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  try {
    auto picture = LoadThroughAccessor(o.picture);
    if (!picture) return Fail(kName, "cannot read a picture from " + o.picture);
    const int width = o.frameWidth ? o.frameWidth : picture->Width();
    const int height = o.frameHeight ? o.frameHeight : picture->Height();
    if (width > 8192 || height > 8192) return Fail(kName, "the picture is larger than 8192 pixels: give --frame");
    const double drawnWidth = picture->Width() * o.scale, drawnHeight = picture->Height() * o.scale;
    const TFloatPoint at = o.at ? *o.at
                                : TFloatPoint{static_cast<float>((width - drawnWidth) / 2),
                                              static_cast<float>((height - drawnHeight) / 2)};
    TImageDrawParams params;
    params.opacity = static_cast<float>(o.opacity);
    params.level = o.level;
    params.antialiased = o.softEdges ? 1 : 0;
    if (o.tint) {
      params.tint = 1;
      params.tintColor = {static_cast<uint8_t>(BlueOf(*o.tint)), static_cast<uint8_t>(GreenOf(*o.tint)),
                          static_cast<uint8_t>(RedOf(*o.tint)), 0};
    }

    T3DEngineScope engineScope;
    auto window = TDeviceWindow::Create(width, height, false, "zeltool draw-image");
    if (!window) return Fail(kName, "cannot open a device window");
    TDirectBitmap frame(width, height, FormatA8R8G8B8());
    bool copied = false;
    int tiles = -1, level = 0;
    {
      T3DDrawer drawer;
      drawer.Init(&window->Device());
      drawer.SetFrameNotification([&](TDeviceDrawer& d, TDrawItem*, TFrameStage stage) {
        if (stage == TFrameStage::FrameEnd) copied = d.CopyScreen(frame);
      });
      TPictureItem item(*picture, o, params, at);
      TFrameItem root(item, o.background);
      drawer.Draw(root);
      if (TMultiTexture6* texture = drawer.TextureFor(*picture, params)) {
        level = texture->Level();
        tiles = static_cast<int>(texture->Tiles().size());
      }
      drawer.ReleaseImage(*picture);
    }
    if (tiles < 0) return Fail(kName, "the picture cannot be drawn: it is too large to tile");
    if (!copied) return Fail(kName, "the device cannot draw");
    std::unique_ptr<TFileStream> out;
    try {
      out = TFileStream::CreateWrite(o.out);
    } catch (const EFileError&) {
      return Fail(kName, "cannot write " + o.out);
    }
    SavePng(frame, *out);
    std::printf("level %d tiles %d\n", level, tiles);
    return 0;
  } catch (const std::exception& e) {
    return Fail(kName, e.what());
  }
}

}  // namespace zel::tool
