// The screen: what the rest of the system draws on. It binds a renderer to
// a draw device and keeps it alive across window changes, full-screen
// switches and device loss; it keeps the resources made through it (which
// make their device objects again on demand), the render-target stack and
// the projection from screen pixels to the device.
#pragma once

#include <SDL.h>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "core/obj.h"
#include "imaging/color.h"
#include "imaging/geometry.h"
#include "render/projection.h"
#include "render/renderer_3d.h"

namespace zel {

class TDrawDevice;
class T3DScreen;
class TVertexBuffer;

// What the screen keeps a list of: textures, batchers and shaders.
class TScreenResource {
 public:
  virtual ~TScreenResource() = default;
  // Frees the device objects, keeping what makes them again.
  virtual void ReleaseDevice() = 0;
  // The screen goes before the resource.
  virtual void ScreenGone() = 0;
};

// One entry of the render-target stack. The size is taken when the target
// is pushed: the surface may go while the entry is on the stack (its
// texture released, or the device lost), and is then set to none.
class TRenderTargetWrapper : public TObj {
 public:
  TRenderTargetWrapper(TPoint offset, T3DSurface* surface, T3DTexture* texture, T3DSize size, bool backBuffer)
      : Offset(offset), Surface(surface), Texture(texture), Size(size), BackBuffer(backBuffer) {}
  TPoint Offset;
  T3DSurface* Surface;
  // The texture the surface belongs to; none for the back buffer.
  T3DTexture* Texture;
  T3DSize Size;
  bool BackBuffer;
};

// Sits in the device's listeners: when the device goes first, the screen
// forgets it, so it never touches a dead device.
class TDeviceKilledMessenger : public TObj {
 public:
  explicit TDeviceKilledMessenger(T3DScreen* screen) : fScreen(screen) {}
  ~TDeviceKilledMessenger() override;
  void Detach() { fScreen = nullptr; }

 private:
  T3DScreen* fScreen;
};

class T3DScreen : public TObj {
 public:
  T3DScreen();
  ~T3DScreen() override;
  T3DScreen(const T3DScreen&) = delete;
  T3DScreen& operator=(const T3DScreen&) = delete;

  void AssignDevice(TDrawDevice* device);
  // Makes sure a renderer exists and matches the device, then begins a
  // frame; callers skip the frame's drawing when it answers false.
  bool BeginScene();
  bool EndScene(bool present);
  bool IsReady() const;

  // The whole target (the bounds grown by a pixel on every side).
  bool Clear(TColor color, bool depth);
  // One rectangle, in screen pixels.
  bool ClearRect(const TRect& rect, TColor color);
  // Draws into the texture's level 0 from now on; the texture covers the
  // screen pixels from (x, y) on, with the screen's perspective.
  bool PushRenderTarget(T3DTexture& texture, int x, int y);
  bool PopRenderTarget();
  // In screen pixels (0, 0 at the bounds' top-left corner).
  TRect GetTargetRect() const;
  int RenderTargetDepth() const { return static_cast<int>(fTargets.size()); }
  // A device texture is about to be freed: stack entries that draw into it
  // forget its surface, and drawing meant for them is dropped.
  void TextureGone(T3DTexture* texture);
  bool SetViewport(const TRect& rect, float minDepth, float maxDepth);

  void ReleaseResources();
  void Release();
  // The drawing thread ends or hands over: it gives the device up.
  void LeaveThread() {
    if (fRenderer) fRenderer->LeaveThread();
  }

  T3DRenderer* Renderer() const { return fRenderer.get(); }
  TDrawDevice* Device() const { return fDevice; }
  const TRect& Bounds() const { return fBounds; }
  bool FullScreen() const { return fFullScreen; }
  int Adapter() const { return fAdapter; }
  TVertexBuffer& Batcher() { return *fBatcher; }
  TPoint TargetOffset() const { return fOffset; }
  TFloatPoint ProjectionOffset() const { return fProjectionOffset; }
  // Target size / view size.
  TFloatPoint ProjectionScale() const { return fProjectionScale; }

  // The perspective of the pixel space positions are given in.
  TScreenPerspective Perspective() const;
  // Maps a logical canvas of the size onto the rectangle of the screen:
  // from now on positions are given in canvas pixels, for the back buffer
  // and for render targets alike. An empty rectangle or size ends the
  // mapping. The current target's projection follows at once.
  void SetCanvas(const TRect& rect, T3DSize size);
  bool HasCanvas() const { return !fCanvasRect.IsEmpty() && !fCanvasSize.IsEmpty(); }
  // What positions are measured in: the canvas when one is mapped, else
  // the bounds.
  T3DSize PixelSpaceSize() const;
  // A point in screen pixels as a position in the pixel space.
  TFloatPoint ScreenToSpace(TFloatPoint point) const;

  // Called after the renderer was released.
  std::function<void()> OnRelease;

  void Register(TScreenResource* resource);
  void Unregister(TScreenResource* resource);
  const std::vector<TScreenResource*>& Resources() const { return fResources; }

 private:
  friend class TDeviceKilledMessenger;
  TRect BoundsFor(TDrawDevice& device) const;
  void CreateRenderer();
  // The projection for a target at this offset and of this size.
  void SetProjection(TPoint offset, T3DSize targetSize);
  // The renderer draws into the top of the stack again.
  void ApplyTop();
  T3DSize TopSize() const;

  std::unique_ptr<T3DRenderer> fRenderer;
  TDrawDevice* fDevice = nullptr;
  TRect fBounds;
  bool fFullScreen = false;
  int fAdapter = 0;
  SDL_Window* fWindow = nullptr;
  TPoint fOffset;
  std::unique_ptr<TVertexBuffer> fBatcher;
  std::vector<std::unique_ptr<TRenderTargetWrapper>> fTargets;
  std::vector<TScreenResource*> fResources;
  TDeviceKilledMessenger* fMessenger = nullptr;
  TFloatPoint fProjectionOffset;
  TFloatPoint fProjectionScale{1.0f, 1.0f};
  TRect fCanvasRect;
  T3DSize fCanvasSize;
  bool fReady = false;
  // Set by the renderer's device-killed notification, which may come on any
  // thread and from inside a renderer call; the renderer is released at the
  // next frame boundary instead.
  std::atomic<bool> fRendererKilled{false};
};

}  // namespace zel
