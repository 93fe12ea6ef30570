#include "render/screen.h"

#include <algorithm>

#include "core/log.h"
#include "render/custom_texture.h"
#include "render/draw_device.h"
#include "render/engine_3d.h"
#include "render/projection.h"
#include "render/shader.h"
#include "render/vertex_buffer.h"

namespace zel {

TDeviceKilledMessenger::~TDeviceKilledMessenger() {
  if (fScreen) {
    fScreen->fDevice = nullptr;
    fScreen->fMessenger = nullptr;
  }
}

T3DScreen::T3DScreen() { fBatcher = std::make_unique<TVertexBuffer>(this); }

T3DScreen::~T3DScreen() {
  if (fMessenger) {
    if (fDevice) fDevice->RemoveListener(fMessenger);
    fMessenger->Detach();
    delete fMessenger;
    fMessenger = nullptr;
  }
  fBatcher.reset();
  fTargets.clear();
  fRenderer.reset();
  // The resources belong to their owners; they only lose their screen.
  auto resources = std::move(fResources);
  fResources.clear();
  for (TScreenResource* resource : resources) resource->ScreenGone();
}

void T3DScreen::Register(TScreenResource* resource) { fResources.push_back(resource); }

void T3DScreen::Unregister(TScreenResource* resource) {
  auto it = std::find(fResources.begin(), fResources.end(), resource);
  if (it != fResources.end()) fResources.erase(it);
}

TRect T3DScreen::BoundsFor(TDrawDevice& device) const {
  if (!device.FullScreen()) return device.Bounds();
  T3DEngine* engine = Get3DEngine();
  TAdapterMode mode;
  if (engine && engine->GetAdapterMode(engine->FindAdapter(device.WindowRect()), mode)) return mode.Monitor;
  return device.Bounds();
}

bool T3DScreen::IsReady() const {
  return fRenderer && !fRendererKilled.load(std::memory_order_acquire) && fRenderer->IsOperational();
}

void T3DScreen::AssignDevice(TDrawDevice* device) {
  ZEL_ASSERT(device != nullptr, "DrawDevice=nil");
  const TRect bounds = BoundsFor(*device);
  Log().WriteRect("T3DScreen.AssignDevice, bounds= ", bounds.Left, bounds.Top, bounds.Right, bounds.Bottom);
  if (device == fDevice && device->FullScreen() == fFullScreen && bounds == fBounds) {
    Log().Write("T3DScreen.AssignDevice, Exit By Same FullScreen Or Same Windowed");
    return;
  }
  if (device != fDevice) {
    if (!fMessenger) {
      fMessenger = new TDeviceKilledMessenger(this);
    } else if (fDevice) {
      fDevice->RemoveListener(fMessenger);
    }
    device->AddListener(fMessenger);
  }
  if (device != fDevice || fFullScreen || device->FullScreen()) ReleaseResources();
  fBounds = bounds;
  fDevice = device;
  fFullScreen = device->FullScreen();
  fWindow = device->Window();
  CreateRenderer();
}

void T3DScreen::CreateRenderer() {
  Release();
  if (!fDevice) {
    Log().Write("No window to draw");
    return;
  }
  T3DEngine* engine = Get3DEngine();
  if (!engine || !engine->IsReady()) {
    Log().Write("Can't init");
    return;
  }
  const int adapter = engine->FindAdapter(fDevice->WindowRect());
  TAdapterMode mode;
  if (!engine->GetAdapterMode(adapter, mode)) {
    Log().Write("Can't GetDisplayMode");
    return;
  }
  fAdapter = adapter;
  fRendererKilled.store(false, std::memory_order_release);
  fRenderer = engine->CreateRenderer(*fDevice, mode);
  if (fRenderer) fRenderer->OnDeviceKilled = [this] { fRendererKilled.store(true, std::memory_order_release); };
}

void T3DScreen::Release() {
  fRenderer.reset();
  fReady = false;
  fTargets.clear();
  fOffset = {};
  if (OnRelease) OnRelease();
}

void T3DScreen::ReleaseResources() {
  const auto resources = fResources;
  for (TScreenResource* resource : resources) resource->ReleaseDevice();
}

bool T3DScreen::BeginScene() {
  // A renderer whose device was lost is made anew at once, so the frame
  // after the loss draws again.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (fRendererKilled.exchange(false, std::memory_order_acq_rel)) Release();
    if (fDevice) {
      const TRect bounds = BoundsFor(*fDevice);
      if (!fRenderer || bounds != fBounds || fDevice->Window() != fWindow || fDevice->FullScreen() != fFullScreen) {
        Log().WriteRect("T3DScreen.BeginScene, R= ", bounds.Left, bounds.Top, bounds.Right, bounds.Bottom);
        if (fFullScreen || fDevice->FullScreen()) ReleaseResources();
        fBounds = bounds;
        fWindow = fDevice->Window();
        fFullScreen = fDevice->FullScreen();
        CreateRenderer();
      }
    }
    const bool ready = IsReady();
    if (ready && !fReady) {
      for (TScreenResource* resource : fResources) {
        if (auto* shader = dynamic_cast<TShader*>(resource)) shader->CreateDevice();
      }
    }
    fReady = ready;
    if (!ready) return false;
    fRenderer->SetCullNone(true);
    fBatcher->SetCapacity(32, 2);
    if (fTargets.empty()) {
      fTargets.push_back(std::make_unique<TRenderTargetWrapper>(TPoint{}, fRenderer->GetBackBuffer(), nullptr,
                                                                T3DSize{fBounds.Width(), fBounds.Height()}, true));
      fOffset = {};
      fRenderer->SetRenderTarget(nullptr);
      SetProjection({0, 0}, {fBounds.Width(), fBounds.Height()});
      fRenderer->SetViewport({0, 0, fBounds.Width(), fBounds.Height()}, 0.0f, 1.0f);
    }
    if (fRenderer->BeginScene()) return true;
    if (!fRendererKilled.load(std::memory_order_acquire)) return false;
  }
  return false;
}

bool T3DScreen::EndScene(bool present) {
  if (!IsReady()) return false;
  fBatcher->Flush();
  bool ok = fRenderer->EndScene();
  if (present && ok) {
    const TRect rects[1] = {fBounds};
    ok = fRenderer->Present(rects, rects);
  }
  return ok;
}

T3DSize T3DScreen::TopSize() const {
  // The size recorded at push time: the surface itself may be gone.
  if (fTargets.empty() || fTargets.back()->BackBuffer) return {fBounds.Width(), fBounds.Height()};
  return fTargets.back()->Size;
}

void T3DScreen::TextureGone(T3DTexture* texture) {
  if (!texture) return;
  for (auto& target : fTargets) {
    if (!target->BackBuffer && target->Texture == texture) {
      target->Surface = nullptr;
      target->Texture = nullptr;
    }
  }
}

TRect T3DScreen::GetTargetRect() const {
  // Screen pixels count from the bounds' top-left corner, so the back
  // buffer covers (0, 0) to the bounds' size.
  const T3DSize size = TopSize();
  return TRect::FromSize(fOffset.X, fOffset.Y, size.Width, size.Height);
}

bool T3DScreen::Clear(TColor color, bool depth) {
  if (!IsReady()) return false;
  fBatcher->Flush();
  // The bounds grown by a pixel, in the current target's own pixels.
  const TRect rect{-1 - fOffset.X, -1 - fOffset.Y, fBounds.Width() + 1 - fOffset.X, fBounds.Height() + 1 - fOffset.Y};
  const T3DSize size = TopSize();
  const TRect clipped = rect.Intersect({0, 0, size.Width, size.Height});
  if (clipped.IsEmpty()) return true;
  const TRect rects[1] = {clipped};
  return fRenderer->Clear(rects, kClearTarget | (depth ? kClearDepth : 0), 1.0f, color);
}

bool T3DScreen::ClearRect(const TRect& rect, TColor color) {
  if (!IsReady()) return false;
  fBatcher->Flush();
  const TRect local{rect.Left - fOffset.X, rect.Top - fOffset.Y, rect.Right - fOffset.X, rect.Bottom - fOffset.Y};
  const T3DSize size = TopSize();
  const TRect clipped = local.Intersect({0, 0, size.Width, size.Height});
  if (clipped.IsEmpty()) return true;
  const TRect rects[1] = {clipped};
  return fRenderer->Clear(rects, kClearTarget, 1.0f, color);
}

void T3DScreen::SetProjection(TPoint offset, T3DSize targetSize) {
  // Without a canvas, positions are screen pixels; with one they are
  // canvas pixels, and the target's place and size are measured in them.
  const T3DSize space = PixelSpaceSize();
  float kx = 1.0f, ky = 1.0f, originX = 0.0f, originY = 0.0f;
  if (HasCanvas()) {
    kx = static_cast<float>(fCanvasSize.Width) / static_cast<float>(fCanvasRect.Width());
    ky = static_cast<float>(fCanvasSize.Height) / static_cast<float>(fCanvasRect.Height());
    originX = static_cast<float>(fCanvasRect.Left);
    originY = static_cast<float>(fCanvasRect.Top);
  }
  TProjectionSetup setup;
  setup.BoundsWidth = static_cast<float>(space.Width);
  setup.BoundsHeight = static_cast<float>(space.Height);
  setup.OffsetX = (static_cast<float>(offset.X) - originX) * kx;
  setup.OffsetY = (static_cast<float>(offset.Y) - originY) * ky;
  setup.TargetWidth = static_cast<float>(std::max(1, targetSize.Width)) * kx;
  setup.TargetHeight = static_cast<float>(std::max(1, targetSize.Height)) * ky;
  setup.PixelCenter = fRenderer->PixelCenterOffset();
  const TProjectionMatrices m = MakeProjection(setup);
  fRenderer->SetTransform(kTransformWorld, m.World);
  fRenderer->SetTransform(kTransformView, m.View);
  fRenderer->SetTransform(kTransformProjection, m.Projection);
  fProjectionOffset = {setup.OffsetX, setup.OffsetY};
  fProjectionScale = {setup.TargetWidth / setup.BoundsWidth, setup.TargetHeight / setup.BoundsHeight};
}

T3DSize T3DScreen::PixelSpaceSize() const {
  if (HasCanvas()) return fCanvasSize;
  return {std::max(1, fBounds.Width()), std::max(1, fBounds.Height())};
}

TFloatPoint T3DScreen::ScreenToSpace(TFloatPoint point) const {
  if (!HasCanvas()) return point;
  const float kx = static_cast<float>(fCanvasSize.Width) / static_cast<float>(fCanvasRect.Width());
  const float ky = static_cast<float>(fCanvasSize.Height) / static_cast<float>(fCanvasRect.Height());
  return {(point.x - static_cast<float>(fCanvasRect.Left)) * kx, (point.y - static_cast<float>(fCanvasRect.Top)) * ky};
}

TScreenPerspective T3DScreen::Perspective() const {
  TScreenPerspective p;
  const T3DSize space = PixelSpaceSize();
  p.CenterX = static_cast<float>(space.Width) / 2;
  p.CenterY = static_cast<float>(space.Height) / 2;
  p.EyeDistance = static_cast<float>(space.Height);
  if (HasCanvas()) {
    p.PixelX = static_cast<float>(fCanvasSize.Width) / static_cast<float>(fCanvasRect.Width());
    p.PixelY = static_cast<float>(fCanvasSize.Height) / static_cast<float>(fCanvasRect.Height());
  }
  return p;
}

void T3DScreen::SetCanvas(const TRect& rect, T3DSize size) {
  if (rect.IsEmpty() || size.IsEmpty()) {
    fCanvasRect = {};
    fCanvasSize = {};
  } else {
    fCanvasRect = rect;
    fCanvasSize = size;
  }
  if (IsReady() && !fTargets.empty()) {
    fBatcher->Flush();
    SetProjection(fOffset, TopSize());
  }
}

void T3DScreen::ApplyTop() {
  const TRenderTargetWrapper& top = *fTargets.back();
  fOffset = top.Offset;
  const T3DSize size = TopSize();
  if (!top.BackBuffer && !top.Surface) {
    // The target's texture went while it was on the stack: what is drawn
    // for it goes nowhere (an empty viewport on the back buffer).
    fRenderer->SetRenderTarget(nullptr);
    fRenderer->SetViewport({0, 0, 0, 0}, 0.0f, 1.0f);
  } else {
    fRenderer->SetRenderTarget(top.BackBuffer ? nullptr : top.Surface);
    fRenderer->SetViewport({0, 0, size.Width, size.Height}, 0.0f, 1.0f);
  }
  SetProjection(fOffset, size);
}

bool T3DScreen::PushRenderTarget(T3DTexture& texture, int x, int y) {
  if (!IsReady()) return false;
  T3DSurface* surface = texture.GetSurface(0);
  if (!surface || !surface->IsDeviceSurface()) return false;
  fBatcher->Flush();
  if (fTargets.empty()) {
    fTargets.push_back(std::make_unique<TRenderTargetWrapper>(TPoint{}, fRenderer->GetBackBuffer(), nullptr,
                                                              T3DSize{fBounds.Width(), fBounds.Height()}, true));
  }
  fTargets.push_back(std::make_unique<TRenderTargetWrapper>(TPoint{x, y}, surface, &texture, surface->GetSize(), false));
  ApplyTop();
  return true;
}

bool T3DScreen::PopRenderTarget() {
  if (fTargets.size() <= 1) return false;
  if (IsReady()) fBatcher->Flush();
  fTargets.pop_back();
  if (IsReady()) ApplyTop();
  return true;
}

bool T3DScreen::SetViewport(const TRect& rect, float minDepth, float maxDepth) {
  if (!IsReady()) return false;
  fBatcher->Flush();
  return fRenderer->SetViewport(rect, minDepth, maxDepth);
}

}  // namespace zel
