#include "render/drawer_3d.h"

#include <algorithm>
#include <cmath>

#include "core/log.h"
#include "imaging/bitmap_store.h"
#include "imaging/pixel_format.h"
#include "render/box_antialiaser.h"
#include "render/draw_device.h"
#include "render/shader_sources.h"
#include "render/soft_edges.h"
#include "render/tiled_texture.h"

namespace zel {

namespace {

constexpr const char* kShaderNames[kDrawerShaderCount] = {
    "unsharp", "yuv_lum", "yuv_deinterlace_lum", "chromakey", "chroma_deinter",
    "videomask", "color_correction", "gauss_blur_h7", "gauss_blur_v7", "gauss_mix"};

// A picture that needs more tiles than this (a gigabyte of textures) is
// refused instead of exhausting the device.
constexpr int64_t kMaxTilesPerPicture = 4096;
constexpr int kTileInterior = 254;

bool Finite(const T3DVector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
bool Finite(const TFloatPoint& p) { return std::isfinite(p.x) && std::isfinite(p.y); }
bool FinitePlane(const T3DVector& position, const T3DVector& axisX, const T3DVector& axisY, const TFloatPoint& anchor) {
  return Finite(position) && Finite(axisX) && Finite(axisY) && Finite(anchor);
}

TColor WithAlpha(TColor color, uint32_t alpha) { return (color & 0x00FFFFFFu) | (alpha << 24); }

// The corners of a plane's rectangle (u0, v0) - (u1, v1): top-left,
// top-right, bottom-right, bottom-left.
void PlaneCorners(const T3DVector& position, const T3DVector& axisX, const T3DVector& axisY, const TFloatPoint& anchor,
                  float u0, float v0, float u1, float v1, T3DVector corners[4]) {
  auto at = [&](float u, float v) { return position + axisX * (u - anchor.x) + axisY * (v - anchor.y); };
  corners[0] = at(u0, v0);
  corners[1] = at(u1, v0);
  corners[2] = at(u1, v1);
  corners[3] = at(u0, v1);
}

TScreenPoint ToScreenPoint(const T3DVector& v) {
  return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

// Two triangles of a quad through the batcher, on which Begin was called.
void AddQuad(TVertexBuffer& batcher, const T3DVector corners[4], const TColor colors[4],
             std::span<const std::array<TFloatPoint, 4>> coords) {
  static constexpr int kTriangles[2][3] = {{0, 1, 2}, {0, 2, 3}};
  for (const auto& triangle : kTriangles) {
    const TScreenPoint points[3] = {ToScreenPoint(corners[triangle[0]]), ToScreenPoint(corners[triangle[1]]),
                                    ToScreenPoint(corners[triangle[2]])};
    const TColor vertexColors[3] = {colors[triangle[0]], colors[triangle[1]], colors[triangle[2]]};
    TTriangleCoords sets[TVertexBuffer::kMaxTextures];
    for (size_t t = 0; t < coords.size(); ++t) {
      for (int k = 0; k < 3; ++k) sets[t].P[k] = coords[t][static_cast<size_t>(triangle[k])];
    }
    batcher.AddTriangle(points, vertexColors, std::span<const TTriangleCoords>(sets, coords.size()));
  }
}

}  // namespace

const char* DrawerShaderName(TDrawerShader shader) { return kShaderNames[static_cast<int>(shader)]; }

uint8_t OpacityToAlpha(double opacity) {
  if (!(opacity > 0)) return 0;  // also NaN
  return static_cast<uint8_t>(std::clamp<long>(std::lround(opacity * 2.55), 0, 255));
}

bool GradientCorners(int gradientType, TColor first, TColor second, TColor corners[4]) {
  if (gradientType < 0 || gradientType > 8) return false;
  if (gradientType == 8) {
    std::fill(corners, corners + 4, first);
  } else if (gradientType < 4) {
    // Diagonal: the first colour at corner `type` (clockwise from the top
    // left), the second at the opposite corner, their mean at the others.
    const int start = gradientType;
    corners[start] = first;
    corners[(start + 2) % 4] = second;
    corners[(start + 1) % 4] = corners[(start + 3) % 4] = AverageColor(first, second);
  } else {
    // Linear, from the first colour to the second: 4 bottom to top, 5 top
    // to bottom, 6 left to right, 7 right to left (the same directions as
    // the shadow generator's gradients). Corners run clockwise from the
    // top left; each entry is the corner where the first colour's edge
    // begins.
    constexpr int kFirstEdgeStart[4] = {2, 0, 3, 1};
    const int start = kFirstEdgeStart[gradientType - 4];
    corners[start] = corners[(start + 1) % 4] = first;
    corners[(start + 2) % 4] = corners[(start + 3) % 4] = second;
  }
  return true;
}

T3DDrawer::T3DDrawer()
    : fScreen(std::make_unique<T3DScreen>()),
      fEffecter(std::make_unique<TCustomD3DEffecter>(fScreen.get(), &fFullTargets)) {}

T3DDrawer::~T3DDrawer() {
  fSharpenTarget.reset();
  fEffecter.reset();
}

void T3DDrawer::CreateShaders() {
  for (int i = 0; i < kDrawerShaderCount; ++i) {
    auto& shader = fShaders[static_cast<size_t>(i)];
    if (shader) continue;
    // The video shaders arrive with video images; a shader without source
    // is simply not there.
    const std::string_view source = ShaderSource(std::string(kShaderNames[i]) + ".frag");
    if (!source.empty()) shader = std::make_unique<TShader>(fScreen.get(), std::string(source), false);
  }
}

void T3DDrawer::SizePools() {
  const int width = std::max(1, fScreen->Bounds().Width());
  const int height = std::max(1, fScreen->Bounds().Height());
  fFullTargets.SetSize(width, height);
  fHalfTargets.SetSize(std::max(1, width / 2), std::max(1, height / 2));
}

void T3DDrawer::Init(TDrawDevice* device) {
  Log().Write("T3DDrawer.Init");
  if (device) fScreen->AssignDevice(device);
  CreateShaders();
  SizePools();
}

void T3DDrawer::Close() {
  Log().Write("T3DDrawer.Close");
  fScreen->Release();
}

bool T3DDrawer::IsReady() const { return fScreen->IsReady(); }

bool T3DDrawer::BeginFrame() {
  ZEL_ASSERT(HasFrameNotification(), "T3DDrawer.BeginFrame: FrameNotification not Assigned");
  const bool ready = fScreen->BeginScene();
  const TRect& bounds = fScreen->Bounds();
  SetScreenSize(bounds.Width(), bounds.Height());
  SizePools();
  fEffecter->SetArea(ScreenRect());
  fEffecter->SetBounds(CanvasRect());
  if (ready && fScreen->RenderTargetDepth() <= 1) fScreen->SetCanvas(CanvasRect(), {CanvasSize().X, CanvasSize().Y});
  SetViewRect(ScreenRect());
  ApplyViewSize();
  Notify(nullptr, TFrameStage::FrameBegin);
  return ready;
}

void T3DDrawer::EndFrame() {
  if (IsReady()) fScreen->Batcher().Flush();
  TDeviceDrawer::EndFrame();
}

bool T3DDrawer::Present() { return fScreen->EndScene(!fNoPresent); }

void T3DDrawer::LeaveThread() { fScreen->LeaveThread(); }

TRect T3DDrawer::GetTargetRect() const { return fScreen->GetTargetRect(); }

void T3DDrawer::ResetStates() {
  if (IsReady()) fScreen->Renderer()->SetDefaultStates();
}

void T3DDrawer::Clear(TColor color, bool depth) { fScreen->Clear(color, depth); }

void T3DDrawer::ClearRect(TColor color, const TRect& rect) { fScreen->ClearRect(rect, color); }

void T3DDrawer::SetCanvas(const TRect& rect, TPoint size) {
  TDeviceDrawer::SetCanvas(rect, size);
  if (IsReady() && fScreen->RenderTargetDepth() <= 1) fScreen->SetCanvas(CanvasRect(), {CanvasSize().X, CanvasSize().Y});
}

void T3DDrawer::UseShader(TShader* shader) {
  fScreen->Batcher().Flush();
  if (IsReady()) fScreen->Renderer()->SetShader(shader ? shader->DeviceShader() : nullptr);
}

void T3DDrawer::SetShaderConstants(std::span<const float> values) {
  if (IsReady()) fScreen->Renderer()->SetShaderConstants(false, 0, values, static_cast<int>((values.size() + 3) / 4));
}

void T3DDrawer::GrowDrawnArea(const T3DVector corners[4]) {
  if (!fBusy) return;
  const TScreenPerspective perspective = fScreen->Perspective();
  const TRect canvas = fScreen->HasCanvas() ? CanvasRect() : ScreenRect();
  for (int i = 0; i < 4; ++i) {
    float x, y;
    if (!perspective.Project(static_cast<float>(corners[i].x), static_cast<float>(corners[i].y),
                             static_cast<float>(corners[i].z), x, y)) {
      // Behind the eye: the quad may reach anywhere.
      fDrawnArea = ScreenRect();
      return;
    }
    // Pixel space to screen pixels.
    x = static_cast<float>(canvas.Left) + x / perspective.PixelX;
    y = static_cast<float>(canvas.Top) + y / perspective.PixelY;
    const TRect point{static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)),
                      static_cast<int>(std::ceil(x)) + 1, static_cast<int>(std::ceil(y)) + 1};
    fDrawnArea = fDrawnArea.IsEmpty() ? point
                                      : TRect{std::min(fDrawnArea.Left, point.Left), std::min(fDrawnArea.Top, point.Top),
                                              std::max(fDrawnArea.Right, point.Right),
                                              std::max(fDrawnArea.Bottom, point.Bottom)};
  }
  fDrawnArea = fDrawnArea.Intersect(ScreenRect());
}

TMultiTexture6* T3DDrawer::TextureFor(TImage& picture, const TImageDrawParams& params) {
  std::lock_guard guard(fLock);
  if (!fTextures) fTextures = std::make_unique<TTextureManager6>(fScreen.get());
  int level = std::max(0, params.level);
  while (level > 0 && ((picture.Width() >> level) < 1 || (picture.Height() >> level) < 1)) --level;
  const int columns = std::max(1, params.columns);
  const int rows = std::max(1, params.rows);
  const std::string key = TextureKey(level, columns, rows, params.premultiplied != 0);

  TTextureStore2* store = nullptr;
  for (auto& object : picture.Attached()) {
    auto* candidate = dynamic_cast<TTextureStore2*>(object.get());
    if (candidate && candidate->Registry() == &fStores) store = candidate;
  }
  if (store) {
    if (TMultiTexture6* found = store->Find(key)) return found;
  }

  // Refused before decoding: a picture that needs more tiles than the
  // limit would take the device's memory (and the decoder's time) for
  // nothing.
  const int64_t tiles = (static_cast<int64_t>(picture.Width() >> level) / kTileInterior + 1) *
                        (static_cast<int64_t>(picture.Height() >> level) / kTileInterior + 1);
  if (tiles > kMaxTilesPerPicture) {
    Log().WriteInt("T3DDrawer: picture refused, tiles needed: ", tiles);
    return nullptr;
  }
  TBitmap* bitmap = nullptr;
  try {
    bitmap = picture.GetMipLevel(level, FormatA8R8G8B8());
  } catch (const std::exception& error) {
    Log().Write(std::string("T3DDrawer: picture not decoded: ") + error.what());
    return nullptr;
  }
  if (!bitmap || bitmap->Width() <= 0 || bitmap->Height() <= 0) return nullptr;
  if (columns > bitmap->Width() || rows > bitmap->Height()) {
    Log().Write("T3DDrawer: picture refused, more frames than pixels");
    return nullptr;
  }
  if (!store) {
    auto made = std::make_unique<TTextureStore2>(&fStores);
    store = made.get();
    picture.Attached().push_back(std::move(made));
  }
  auto texture = std::make_unique<TMultiTexture6>(*fTextures);
  texture->SetSource(bitmap, level, params.premultiplied != 0, columns, rows, bitmap->BoundsRect());
  texture->SetAlphaOnly(picture.Format() == FormatA8());
  return &store->Add(key, std::move(texture));
}

void T3DDrawer::PrepareImage(TImage& picture, const TImageDrawParams& params) {
  std::lock_guard guard(fLock);
  TMultiTexture6* texture = TextureFor(picture, params);
  if (texture && IsReady()) texture->PreLoad();
}

void T3DDrawer::ReleaseImage(TImage& picture) {
  std::lock_guard guard(fLock);
  std::erase_if(picture.Attached(), [this](const std::unique_ptr<TObj>& object) {
    auto* store = dynamic_cast<TTextureStore2*>(object.get());
    return store && store->Registry() == &fStores;
  });
}

bool T3DDrawer::ApplyImageState(TMultiTexture6& texture, const TImageDrawParams& params) {
  texture.Opacity = OpacityToAlpha(params.opacity);
  texture.Nearest = params.smooth == 0;
  texture.LodBias = std::isfinite(params.mipBias) ? params.mipBias : 0.0f;
  texture.Antialiased = params.antialiased != 0;
  texture.Tint = params.tint != 0 || params.colorCorrection > 0;
  texture.TintColor = params.tintColor;
  return texture.Opacity > 0;
}

void T3DDrawer::DrawImage(TImage& picture, const T3DVector& position, const TImageDrawParams& params,
                          const T3DVector& axisX, const T3DVector& axisY, const TFloatPoint& anchor) {
  if (!IsReady() || !FinitePlane(position, axisX, axisY, anchor)) return;
  const T3DVector at = position + T3DVector{Offset().x, Offset().y, 0};
  for (auto& object : picture.Attached()) {
    if (auto* ready = dynamic_cast<TCustomTexture*>(object.get())) {
      DrawReadyTexture(*ready, at, params, axisX, axisY, anchor);
      return;
    }
  }
  TMultiTexture6* texture = TextureFor(picture, params);
  if (!texture || !ApplyImageState(*texture, params)) return;

  // The texture holds the picture at 1 / 2^level of its size.
  const double scale = std::ldexp(1.0, texture->Level());
  const float inverse = static_cast<float>(1.0 / scale);
  const TFloatPoint levelAnchor{anchor.x * inverse, anchor.y * inverse};
  const T3DVector levelX = axisX * scale, levelY = axisY * scale;
  TFloatRect source{params.source.left * inverse, params.source.top * inverse, params.source.right * inverse,
                    params.source.bottom * inverse};
  if (source.Empty()) {
    TBitmap* view = texture->SourceView();
    source = {0, 0, static_cast<float>(view->Width()), static_cast<float>(view->Height())};
  }
  T3DVector corners[4];
  PlaneCorners(at, levelX, levelY, levelAnchor, source.left, source.top, source.right, source.bottom, corners);
  GrowDrawnArea(corners);

  TShader* correction = Shader(TDrawerShader::ColorCorrection);
  const bool corrected = params.colorCorrection > 0 && correction && fShaderLevel >= 1;
  if (corrected) {
    UseShader(correction);
    const float constants[4] = {params.colorCorrection, 0, 0, 0};
    SetShaderConstants(constants);
  }
  texture->Draw(at, levelAnchor, source, levelX, levelY);
  if (corrected) UseShader(nullptr);
}

void T3DDrawer::DrawReadyTexture(TCustomTexture& texture, const T3DVector& position, const TImageDrawParams& params,
                                 const T3DVector& axisX, const T3DVector& axisY, const TFloatPoint& anchor) {
  const uint8_t alpha = OpacityToAlpha(params.opacity);
  if (alpha == 0) return;
  TFloatRect source = params.source;
  if (source.Empty()) {
    source = {0, 0, static_cast<float>(texture.Size().Width), static_cast<float>(texture.Size().Height)};
  }
  T3DVector corners[4];
  PlaneCorners(position, axisX, axisY, anchor, source.left, source.top, source.right, source.bottom, corners);
  GrowDrawnArea(corners);
  texture.SetNearest(params.smooth == 0);
  texture.SetOpacity(alpha);
  const TColor color = WithAlpha(0x00FFFFFF, alpha);
  const TColor colors[4] = {color, color, color, color};
  const std::array<TFloatPoint, 4> coords = {
      {{source.left, source.top}, {source.right, source.top}, {source.right, source.bottom}, {source.left, source.bottom}}};
  TVertexBuffer& batcher = fScreen->Batcher();
  TCustomTexture* textures[1] = {&texture};
  batcher.Begin(textures);
  if (params.antialiased) {
    TSoftEdgeQuad quad;
    std::copy(corners, corners + 4, quad.Corners);
    quad.TexSets = 1;
    std::copy(coords.begin(), coords.end(), quad.Tex[0]);
    quad.TexClamp[0] = source;
    std::copy(colors, colors + 4, quad.Colors);
    DrawSoftEdgeQuad(batcher, fScreen->Perspective(), quad);
  } else {
    AddQuad(batcher, corners, colors, std::span(&coords, 1));
  }
}

void T3DDrawer::DrawBox(const TBoxDrawParams& params, const T3DVector& position, const T3DVector& axisX,
                        const T3DVector& axisY, const TFloatPoint& anchor) {
  if (!IsReady() || !(params.opacity > 0) || !FinitePlane(position, axisX, axisY, anchor)) return;
  TColor colors[4];
  ZEL_ASSERT(GradientCorners(params.gradientType, params.color1, params.color2, colors),
             "T3DDrawer.DrawBox: unknown gradient type");
  if (params.opacity < 100) {
    for (TColor& color : colors) {
      color = WithAlpha(color, static_cast<uint32_t>(std::lround(AlphaOf(color) * params.opacity * 0.01)));
    }
  }
  const T3DVector at = position + T3DVector{Offset().x, Offset().y, 0};
  T3DVector corners[4];
  PlaneCorners(at, axisX, axisY, anchor, 0, 0, params.width, params.height, corners);
  GrowDrawnArea(corners);
  const bool edges[4] = {params.antialias[0] != 0, params.antialias[1] != 0, params.antialias[2] != 0,
                         params.antialias[3] != 0};
  if (edges[0] || edges[1] || edges[2] || edges[3]) {
    if (!fBoxAntialiaser) fBoxAntialiaser = std::make_unique<TBoxAntialiaser>(fScreen.get());
    fBoxAntialiaser->DrawBox(corners[0], axisX * params.width, axisY * params.height, edges, colors);
    return;
  }
  TVertexBuffer& batcher = fScreen->Batcher();
  batcher.Begin({}, 0);
  AddQuad(batcher, corners, colors, {});
}

void T3DDrawer::DrawVideo(TYUVImage&, const T3DVector&, const TVideoDrawParams&, const T3DVector&, const T3DVector&,
                          const TFloatPoint&) {}

void T3DDrawer::FillRect(TFloatPoint corner1, TFloatPoint corner2, uint32_t color) {
  if (!IsReady()) return;
  const TFloatPoint a = fScreen->ScreenToSpace(corner1), b = fScreen->ScreenToSpace(corner2);
  const T3DVector corners[4] = {{a.x, a.y, 0}, {b.x, a.y, 0}, {b.x, b.y, 0}, {a.x, b.y, 0}};
  GrowDrawnArea(corners);
  const TColor colors[4] = {color, color, color, color};
  TVertexBuffer& batcher = fScreen->Batcher();
  batcher.Begin({}, 0);
  AddQuad(batcher, corners, colors, {});
}

bool T3DDrawer::CopyScreen(TBitmap& bitmap) {
  if (fNoPresent || !IsReady()) return false;
  fScreen->Batcher().Flush();
  T3DSurface* back = fScreen->Renderer()->GetBackBuffer();
  return back && back->CopyToBitmap(bitmap);
}

std::unique_ptr<TBitmap> T3DDrawer::Screenshot() {
  const TRect& bounds = fScreen->Bounds();
  if (bounds.IsEmpty()) return nullptr;
  auto bitmap = CreateBitmap(bounds.Width(), bounds.Height(), FormatA8R8G8B8());
  if (!bitmap || !CopyScreen(*bitmap)) return nullptr;
  return bitmap;
}

}  // namespace zel
