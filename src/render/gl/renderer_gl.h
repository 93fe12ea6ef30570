// The renderer on GL: one SDL window's GL context (held by the device's
// store) and the frame and drawing operations of the fixed pipeline.
//
// It can be made on the interface thread and used on the drawing thread:
// every operation makes the store's context current on the calling thread
// first, under the device lock. After every operation a lost device is
// handled: the store is taken from the device and freed, which tells the
// screen (through OnDeviceKilled) to make everything anew.
#pragma once

#include <SDL.h>
#include <epoxy/gl.h>

#include <memory>

#include "render/engine_3d.h"
#include "render/gl/dev_store.h"
#include "render/gl/texture_gl.h"
#include "render/gl/vertex_list_gl.h"
#include "render/renderer_3d.h"
#include "render/shader_interface.h"

namespace zel {

class T3DEngineGL;
class T3DShaderGL;
class TInitData;

class T3DRendererGL final : public T3DRenderer {
 public:
  T3DRendererGL(T3DEngineGL& engine, TDrawDevice& device, const TAdapterMode& mode);
  ~T3DRendererGL() override;

  void UpdateBounds() override;
  bool BeginScene() override;
  bool EndScene() override;
  bool Present(std::span<const TRect> sourceRects, std::span<const TRect> destRects) override;
  bool Clear(std::span<const TRect> rects, uint32_t flags, float depth, TColor color) override;
  bool SetDefaultStates() override;
  bool SetRenderTarget(T3DSurface* surface) override;
  T3DSurface* GetRenderTarget() override;
  T3DSurface* GetBackBuffer() override;
  bool SetViewport(const TRect& rect, float minDepth, float maxDepth) override;
  bool DrawPrimitives(std::span<T3DTexture* const> textures, uint32_t flags, T3DVertexList& list) override;
  std::unique_ptr<T3DTexture> CreateTexture(uint8_t kind, int width, int height, bool mipmaps) override;
  std::unique_ptr<T3DVertexList> CreateVertexList(int vertexCount, bool hasColor, int texCoordCount) override;
  bool StretchRects(T3DSurface& source, T3DSurface& dest, std::span<const TRect> sourceRects,
                    std::span<const TRect> destRects) override;
  void SetBlendMode(uint8_t mode) override;
  bool SetTransform(int which, const T3DMatrix& matrix) override;
  void SetCullNone(bool none) override;
  TFloatPoint PixelCenterOffset() override;
  std::unique_ptr<T3DShader> CreateShader(const std::string& source, bool vertex) override;
  bool SetShader(T3DShader* shader) override;
  bool SetShaderConstants(bool vertex, int firstRegister, std::span<const float> values, int registerCount) override;
  bool IsOperational() override;

  // --- For the engine, the store and the surfaces.
  TDevStore* Store() const { return fStore; }
  // The device was made (by the engine, maybe on the interface thread).
  void Attach(TDevStore* store, bool exclusive, bool fullScreen, int refreshRate, const TAdapterMode& mode);
  // The creation posted to the interface thread is under way or failed.
  void SetCreationRecord(TInitData* record) { fCreationRecord = record; }
  TInitData* CreationRecord() const { return fCreationRecord; }
  void CreationFailed();
  // The store is being freed.
  void StoreGone();
  // A shader that is going away is taken out of its stage.
  void ShaderGone(T3DShaderGL* shader);
  // A render-target texture that is going away stops being the target.
  void TextureGone(T3DTextureGL* texture);
  // The drawing area of the back buffer in the window's client pixels.
  TRect PanelRect() const;
  int DrawableHeight() const;

  void LeaveThread() override;
  void SimulateDeviceLoss() override;
  void SetVideoMemoryBudget(size_t bytes) override;
  size_t VideoMemoryInUse() override;

 private:
  class TCall;
  // Makes the context current; false (and lost state 2 when the device is
  // gone) when the renderer cannot work.
  bool Enter();
  // After every operation: frees the store of a lost device.
  void CheckLost();
  void Record(const struct TGLResult& result);
  // The current target's framebuffer, viewport, flip and culling to GL.
  void ApplyTarget();
  T3DSurfaceRT* CurrentTarget();
  T3DTextureGL* TargetTexture();
  // Makes the program current with this renderer's transform and target
  // orientation; a missing program fails the call.
  bool UseProgram(TGLState& state, TGLProgram* program);
  void EnsureHelperList();
  void UpdateCombined();

  T3DEngineGL& fEngine;
  TDevStore* fStore = nullptr;
  TInitData* fCreationRecord = nullptr;
  bool fPending = true;
  TWinPanel* fPanel = nullptr;
  TRect fPanelRect;

  T3DSurfaceRT* fRenderTarget = nullptr;  // none: the back buffer
  std::unique_ptr<T3DSurfaceRT> fBackBuffer;
  TRect fViewport;
  float fMinDepth = 0.0f;
  float fMaxDepth = 1.0f;
  bool fCullNone = false;

  int fMaxAnisotropy = 1;
  bool fAnisotropy = false;
  bool fMipBias = false;
  bool fLuminance = true;
  int fDepthBits = 0;

  T3DMatrix fTransforms[3];
  T3DMatrix fCombined;
  uint64_t fCombinedSerial = 0;
  bool fCombinedDirty = true;

  T3DShaderGL* fVertexShader = nullptr;
  T3DShaderGL* fPixelShader = nullptr;
  float fVertexRegisters[kMaxVertexRegisters * 4] = {};
  float fPixelRegisters[kMaxPixelRegisters * 4] = {};
  uint64_t fVertexSerial = 0;
  uint64_t fPixelSerial = 0;

  std::unique_ptr<T3DVertexListGL> fHelperList;
  uint64_t fLastPresent = 0;
};

}  // namespace zel
