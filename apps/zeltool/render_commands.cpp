// Subcommands that open the render device headless: a self-test that draws
// a fixed scene through every feature of the device and writes what it drew,
// and a report of the adapter and its capabilities.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/streams.h"
#include "core/strings.h"
#include "imaging/image_lib_store.h"
#include "imaging/pixel_format.h"
#include "render/custom_texture.h"
#include "render/draw_device.h"
#include "render/engine_3d.h"
#include "render/generated_texture.h"
#include "render/screen.h"
#include "render/vertex_buffer.h"
#include "tool.h"

namespace zel::tool {

namespace {

// The capability names the engine answers, as gl-info lists them.
constexpr const char* kCapabilityNames[] = {"pixelshaderversion", "maxtexwidth", "maxtexheight",
                                            "maxanisotropy",      "raster",      "vendor"};

bool ParseSize(const std::string& text, int& width, int& height) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  const auto w = TryStrToInt(AsciiToString(text.substr(0, x)));
  const auto h = TryStrToInt(AsciiToString(text.substr(x + 1)));
  if (!w || !h || *w < 16 || *h < 16 || *w > 8192 || *h > 8192) return false;
  width = static_cast<int>(*w);
  height = static_cast<int>(*h);
  return true;
}

// Frees the engine (and with it SDL's video) when the command ends.
// A rectangle of the scene, as fractions of the screen.
TRect Place(int width, int height, double left, double top, double right, double bottom) {
  return {static_cast<int>(std::lround(left * width)), static_cast<int>(std::lround(top * height)),
          static_cast<int>(std::lround(right * width)), static_cast<int>(std::lround(bottom * height))};
}

// Two triangles through the screen's batcher; each texture spans the
// rectangle with its whole content.
void DrawQuad(T3DScreen& screen, std::initializer_list<TCustomTexture*> textures, const TRect& rect, TColor color) {
  TVertexBuffer& batcher = screen.Batcher();
  TCustomTexture* const* list = textures.begin();
  batcher.Begin(std::span<TCustomTexture* const>(list, textures.size()));
  const float l = static_cast<float>(rect.Left);
  const float t = static_cast<float>(rect.Top);
  const float r = static_cast<float>(rect.Right);
  const float b = static_cast<float>(rect.Bottom);
  std::vector<TTriangleCoords> first;
  std::vector<TTriangleCoords> second;
  for (TCustomTexture* texture : textures) {
    const float w = static_cast<float>(texture->Size().Width);
    const float h = static_cast<float>(texture->Size().Height);
    first.push_back({{{0, 0}, {w, 0}, {w, h}}});
    second.push_back({{{0, 0}, {w, h}, {0, h}}});
  }
  batcher.AddTriangle({{l, t, 0}, {r, t, 0}, {r, b, 0}}, {color, color, color}, first);
  batcher.AddTriangle({{l, t, 0}, {r, b, 0}, {l, b, 0}}, {color, color, color}, second);
  batcher.Flush();
}

int DrawSelfTest(T3DScreen& screen, int width, int height, TBitmap& out) {
  T3DRenderer& renderer = *screen.Renderer();
  const TColor white = MakeColor(255, 255, 255);
  // Kind 0: a picture with an alpha gradient.
  TGeneratedTexture picture(&screen, kTexKindPicture, 64, 64, [](int x, int y) {
    return MakeColor(static_cast<uint32_t>(x * 4), static_cast<uint32_t>(y * 4), 200, static_cast<uint32_t>(128 + x * 2));
  });
  picture.SetMipFlags(kMipChain);
  // Kind 3: a grey checker board.
  TGeneratedTexture grey(&screen, kTexKindLuminance, 64, 64,
                         [](int x, int y) { return ((x / 8 + y / 8) % 2) ? MakeColor(230, 230, 230) : MakeColor(40, 40, 40); });
  // Kind 4: colour bars without alpha.
  TGeneratedTexture bars(&screen, kTexKindRgb565, 64, 64, [](int x, int) {
    static const TColor kBars[4] = {MakeColor(255, 0, 0), MakeColor(0, 255, 0), MakeColor(0, 0, 255), MakeColor(255, 255, 0)};
    return kBars[(x / 16) % 4];
  });
  // A premultiplied picture: half-transparent orange.
  TGeneratedTexture premultiplied(&screen, kTexKindPicture, 32, 32, [](int, int) { return MakeColor(128, 64, 0, 128); });
  premultiplied.SetPremultiplied(true);

  if (!screen.Clear(MakeColor(20, 30, 60), false)) return 1;
  DrawQuad(screen, {&picture}, Place(width, height, 0.05, 0.05, 0.30, 0.38), white);
  DrawQuad(screen, {&grey}, Place(width, height, 0.35, 0.05, 0.60, 0.38), white);
  DrawQuad(screen, {&bars}, Place(width, height, 0.65, 0.05, 0.95, 0.38), white);

  // A render target with alpha, pushed over a corner of the screen: it gets a
  // picture and a see-through wash, then is drawn back onto the screen.
  const TRect targetRect = Place(width, height, 0.05, 0.45, 0.45, 0.95);
  TRenderTargetTexture target(&screen);
  target.SetSize(targetRect.Width(), targetRect.Height());
  target.SetPremultiplied(true);
  T3DTexture* device = target.GetTexture();
  if (!device || !screen.PushRenderTarget(*device, targetRect.Left, targetRect.Top)) return 1;
  screen.Clear(MakeColor(0, 0, 0, 0), false);
  DrawQuad(screen, {&picture}, Place(width, height, 0.07, 0.47, 0.30, 0.80), white);
  DrawQuad(screen, {}, Place(width, height, 0.20, 0.60, 0.43, 0.93), MakeColor(255, 0, 128, 96));
  screen.PopRenderTarget();
  DrawQuad(screen, {&target}, targetRect, white);

  // Blend mode 1 keeps the larger channel of the bars and a plain green.
  screen.Batcher().Flush();
  renderer.SetBlendMode(kBlendMaximum);
  DrawQuad(screen, {}, Place(width, height, 0.50, 0.45, 0.95, 0.60), MakeColor(0, 160, 0));
  renderer.SetBlendMode(kBlendNormal);

  DrawQuad(screen, {&premultiplied}, Place(width, height, 0.50, 0.62, 0.60, 0.95), white);

  // Kind 1: a render target without alpha. It is cleared to a blue whose
  // alpha is 0 and gets a half-transparent yellow over its upper half;
  // drawn back, it reads as opaque all the same.
  const TRect opaqueRect = Place(width, height, 0.61, 0.62, 0.73, 0.95);
  TRenderTargetTexture opaque(&screen);
  opaque.SetKind(kTexKindTargetNoAlpha);
  opaque.SetSize(opaqueRect.Width(), opaqueRect.Height());
  T3DTexture* opaqueDevice = opaque.GetTexture();
  if (!opaqueDevice || opaqueDevice->Kind() != kTexKindTargetNoAlpha ||
      !screen.PushRenderTarget(*opaqueDevice, opaqueRect.Left, opaqueRect.Top)) {
    return 1;
  }
  screen.Clear(MakeColor(0, 0, 200, 0), false);
  DrawQuad(screen, {}, {opaqueRect.Left, opaqueRect.Top, opaqueRect.Right, (opaqueRect.Top + opaqueRect.Bottom) / 2},
           MakeColor(255, 255, 0, 128));
  screen.PopRenderTarget();
  DrawQuad(screen, {&opaque}, opaqueRect, white);

  // A batched fan of textured triangles in one draw.
  TVertexBuffer fan(&screen);
  TCustomTexture* fanTextures[1] = {&bars};
  fan.Begin(fanTextures);
  const float cx = 0.85f * static_cast<float>(width);
  const float cy = 0.78f * static_cast<float>(height);
  const float radius = 0.12f * static_cast<float>(std::min(width, height));
  constexpr int kTriangles = 24;
  for (int i = 0; i < kTriangles; ++i) {
    const float a0 = 6.2831853f * static_cast<float>(i) / kTriangles;
    const float a1 = 6.2831853f * static_cast<float>(i + 1) / kTriangles;
    const TTriangleCoords coords[1] = {{{{32, 32}, {32 + 31 * std::cos(a0), 32 + 31 * std::sin(a0)},
                                         {32 + 31 * std::cos(a1), 32 + 31 * std::sin(a1)}}}};
    fan.AddTriangle({{cx, cy, 0}, {cx + radius * std::cos(a0), cy + radius * std::sin(a0), 0},
                     {cx + radius * std::cos(a1), cy + radius * std::sin(a1), 0}},
                    {white, white, white}, coords);
  }
  fan.Flush();

  if (!screen.EndScene(false)) return 1;
  // Read what was drawn before the frame is shown.
  if (!renderer.GetBackBuffer()->CopyToBitmap(out)) return 1;
  screen.Renderer()->Present({}, {});
  return 0;
}

}  // namespace

int RunGlSelfTest(TArguments arguments) {
  int width = 320;
  int height = 240;
  std::string outName;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--size" && i + 1 < arguments.size()) {
      if (!ParseSize(arguments[++i], width, height)) return Fail("gl-selftest", "the size must be WxH, 16 to 8192 each");
    } else if (outName.empty()) {
      outName = arguments[i];
    } else {
      return UsageError("gl-selftest");
    }
  }
  if (outName.empty()) return UsageError("gl-selftest");
  // The self-test always draws without a display.
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  try {
    T3DEngineScope engineScope;
    auto window = TDeviceWindow::Create(width, height, false, "zeltool gl-selftest");
    if (!window) return Fail("gl-selftest", "cannot open a device window");
    TDirectBitmap image(width, height, FormatA8R8G8B8());
    int result = 1;
    TAdapterIdentity identity;
    {
      T3DScreen screen;
      screen.AssignDevice(&window->Device());
      if (!screen.BeginScene()) return Fail("gl-selftest", "the device cannot draw");
      Get3DEngine()->GetAdapterIdentity(screen.Adapter(), identity);
      result = DrawSelfTest(screen, width, height, image);
    }
    if (result != 0) return Fail("gl-selftest", "drawing the scene failed");
    std::unique_ptr<TFileStream> out;
    try {
      out = TFileStream::CreateWrite(outName);
    } catch (const EFileError&) {
      return Fail("gl-selftest", "cannot write " + outName);
    }
    SavePng(image, *out);
    std::printf("renderer: %s\nversion: %s\nsize: %dx%d\n", identity.Description.c_str(), identity.Version.c_str(), width,
                height);
    return 0;
  } catch (const std::exception& e) {
    return Fail("gl-selftest", e.what());
  }
}

int RunGlInfo(TArguments arguments) {
  if (!arguments.empty()) return UsageError("gl-info");
  // Without a display the offscreen driver stands in.
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  try {
    T3DEngineScope engineScope;
    T3DEngine* engine = Get3DEngine();
    if (!engine) return Fail("gl-info", "no OpenGL 3.3 device can be opened");
    TAdapterIdentity identity;
    if (!engine->GetAdapterIdentity(0, identity)) return Fail("gl-info", "the adapter cannot be asked");
    std::printf("adapter: %s\nvendor: %s\nversion: %s\nshading language: %s\n", identity.Description.c_str(),
                identity.Vendor.c_str(), identity.Version.c_str(), identity.ShadingLanguage.c_str());
    for (const char* name : kCapabilityNames) std::printf("%s: %u\n", name, engine->GetCaps(name, 0));
    std::printf("shaderlevel: %d\n", engine->ShaderLevel(0));
    return 0;
  } catch (const std::exception& e) {
    return Fail("gl-info", e.what());
  }
}

}  // namespace zel::tool
