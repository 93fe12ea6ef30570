// The renderer: one device bound to one window, the frame operations and
// the factory of the device's resources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "draw/geometry.h"
#include "render/device_3d.h"

namespace zel {

class TDrawDevice;

// Result categories every device call is mapped to (the renderer keeps
// the last one) and the lost states.
constexpr uint8_t kResultOk = 0;
constexpr uint8_t kResultInvalidCall = 1;
constexpr uint8_t kResultOutOfVideoMemory = 2;
constexpr uint8_t kResultFailed = 3;
constexpr uint8_t kLostNone = 0;
constexpr uint8_t kLostDevice = 2;

// Clear flags.
constexpr uint32_t kClearTarget = 1;
constexpr uint32_t kClearDepth = 2;

// Blend modes.
constexpr uint8_t kBlendNormal = 0;
constexpr uint8_t kBlendMaximum = 1;

// Transform selectors.
constexpr int kTransformWorld = 0;
constexpr int kTransformView = 1;
constexpr int kTransformProjection = 2;

class T3DRenderer : public TObj {
 public:
  ~T3DRenderer() override;

  // Moves the drawing area of a windowed device to the device's bounds.
  virtual void UpdateBounds() = 0;
  virtual bool BeginScene() = 0;
  virtual bool EndScene() = 0;
  // Shows the frame, paced to the display.
  virtual bool Present(std::span<const TRect> sourceRects, std::span<const TRect> destRects) = 0;
  // Rectangles in the current target's pixels; none clears the viewport.
  virtual bool Clear(std::span<const TRect> rects, uint32_t flags, float depth, TColor color) = 0;
  virtual bool SetDefaultStates() = 0;
  // None selects the back buffer.
  virtual bool SetRenderTarget(T3DSurface* surface) = 0;
  virtual T3DSurface* GetRenderTarget() = 0;
  virtual T3DSurface* GetBackBuffer() = 0;
  virtual bool SetViewport(const TRect& rect, float minDepth, float maxDepth) = 0;
  virtual bool DrawPrimitives(std::span<T3DTexture* const> textures, uint32_t flags, T3DVertexList& list) = 0;
  virtual std::unique_ptr<T3DTexture> CreateTexture(uint8_t kind, int width, int height, bool mipmaps) = 0;
  virtual std::unique_ptr<T3DVertexList> CreateVertexList(int vertexCount, bool hasColor, int texCoordCount) = 0;
  virtual bool StretchRects(T3DSurface& source, T3DSurface& dest, std::span<const TRect> sourceRects,
                            std::span<const TRect> destRects) = 0;
  virtual void SetBlendMode(uint8_t mode) = 0;
  virtual bool SetTransform(int which, const T3DMatrix& matrix) = 0;
  virtual void SetCullNone(bool none) = 0;
  // The offset between pixel corners and texel centres, in pixels.
  virtual TFloatPoint PixelCenterOffset() = 0;
  // Shaders are made from GLSL source on this platform (see shader_interface.h).
  virtual std::unique_ptr<T3DShader> CreateShader(const std::string& source, bool vertex) = 0;
  // None removes both the vertex and the pixel shader.
  virtual bool SetShader(T3DShader* shader) = 0;
  virtual bool SetShaderConstants(bool vertex, int firstRegister, std::span<const float> values, int registerCount) = 0;

  // Whether the renderer can draw now: false while its device is still
  // being made on the interface thread, and after it was lost.
  virtual bool IsOperational() = 0;

  // The calling thread stops drawing: it gives the device up, so another
  // thread can take it.
  virtual void LeaveThread() = 0;

  // Test hooks. The device is destroyed behind the renderer's back, as a
  // driver reset does: the next operation finds it lost.
  virtual void SimulateDeviceLoss() = 0;
  // Textures that would take the device's texture memory past this many
  // bytes fail as out of video memory; 0 lifts the limit.
  virtual void SetVideoMemoryBudget(size_t bytes) = 0;
  virtual size_t VideoMemoryInUse() = 0;

  uint8_t LastError() const { return fLastError; }
  uint8_t LostState() const { return fLostState; }
  uint8_t BlendMode() const { return fBlendMode; }
  bool FullScreen() const { return fFullScreen; }
  bool Exclusive() const { return fExclusive; }
  int RefreshRate() const { return fRefreshRate; }

  TDrawDevice* Device() const { return fDevice; }
  // Called by the device when it goes away first.
  void DetachDevice() { fDevice = nullptr; }

  // Called (once) when the device behind the renderer is gone. It may come
  // on any thread and from inside a renderer call, so it must only note
  // the fact; the owner frees the renderer later.
  std::function<void()> OnDeviceKilled;
  // Called when a renderer made on the interface thread is ready.
  std::function<void()> OnCreated;

 protected:
  explicit T3DRenderer(TDrawDevice* device);

  // Records a call's category, logging "Dx Error = N" for a failure.
  void SetResult(uint8_t category, bool lost = false);

  TDrawDevice* fDevice;
  uint8_t fLastError = kResultOk;
  uint8_t fLostState = kLostNone;
  uint8_t fBlendMode = kBlendNormal;
  bool fFullScreen = false;
  bool fExclusive = false;
  bool fWasExclusive = false;
  int fRefreshRate = 0;
};

}  // namespace zel
