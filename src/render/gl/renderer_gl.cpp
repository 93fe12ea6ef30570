#include "render/gl/renderer_gl.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "app/application.h"
#include "core/clock.h"
#include "core/log.h"
#include "render/draw_device.h"
#include "render/gl/engine_gl.h"
#include "render/gl/gl_results.h"
#include "render/gl/shader_gl.h"
#include "render/gl/stage_programs.h"
#include "render/present_pacing.h"

namespace zel {

namespace {

// Serial numbers of uniform contents, unique across renderers, so that a
// program knows whether what it was last sent is still current.
uint64_t NextSerial() {
  static std::atomic<uint64_t> counter{0};
  return ++counter;
}

GLenum ModeOf(uint8_t primitiveType) {
  switch (primitiveType) {
    case kPrimPointList: return GL_POINTS;
    case kPrimLineList: return GL_LINES;
    case kPrimLineStrip: return GL_LINE_STRIP;
    case kPrimTriangleList: return GL_TRIANGLES;
    case kPrimTriangleStrip: return GL_TRIANGLE_STRIP;
    default: return GL_TRIANGLE_FAN;
  }
}

void ToFloats(TColor color, float out[4]) {
  out[0] = static_cast<float>(RedOf(color)) / 255.0f;
  out[1] = static_cast<float>(GreenOf(color)) / 255.0f;
  out[2] = static_cast<float>(BlueOf(color)) / 255.0f;
  out[3] = static_cast<float>(AlphaOf(color)) / 255.0f;
}

}  // namespace

// One renderer operation: the device lock, the context made current, and
// afterwards the loss check.
class T3DRendererGL::TCall {
 public:
  explicit TCall(T3DRendererGL& renderer) : fRenderer(renderer), fGuard(DeviceLock()), fOk(renderer.Enter()) {}
  ~TCall() { fRenderer.CheckLost(); }
  bool Ok() const { return fOk; }

 private:
  T3DRendererGL& fRenderer;
  std::lock_guard<TCriticalSection> fGuard;
  bool fOk;
};

T3DRendererGL::T3DRendererGL(T3DEngineGL& engine, TDrawDevice& device, const TAdapterMode& mode)
    : T3DRenderer(&device), fEngine(engine) {
  fFullScreen = device.FullScreen();
  fRefreshRate = mode.RefreshRate;
  for (auto& transform : fTransforms) transform = T3DMatrix::Identity();
  UpdateCombined();
}

T3DRendererGL::~T3DRendererGL() {
  std::lock_guard guard(DeviceLock());
  if (fCreationRecord) {
    fCreationRecord->Renderer = nullptr;
    fCreationRecord = nullptr;
  }
  fBackBuffer.reset();
  fHelperList.reset();
  if (fFullScreen && fDevice) {
    // The window gets back the placement and border it had before it
    // covered the monitor.
    auto* wrapper = fDevice->FindListener<TRectangleWrapper>();
    const TRect rect = wrapper ? wrapper->Rect : fDevice->WindowRect();
    const bool bordered = wrapper ? wrapper->Bordered : true;
    if (wrapper) wrapper->Saved = false;
    Log().WriteRect("Dispose FullScreen, R= ", rect.Left, rect.Top, rect.Right, rect.Bottom);
    if (Application() && !Application()->IsInterfaceThread()) {
      Log().Write("T3DRenderer9.Dispose: exclusive mode, not main thread");
    }
    fEngine.RestoreWindow(fDevice->Window(), rect, bordered);
  }
  if (fStore) fStore->RemoveRenderer(this);
}

void T3DRendererGL::Attach(TDevStore* store, bool exclusive, bool fullScreen, int refreshRate, const TAdapterMode& mode) {
  fStore = store;
  fStore->AddRenderer(this);
  fPending = false;
  fExclusive = exclusive;
  fWasExclusive = exclusive;
  fFullScreen = fullScreen;
  fRefreshRate = refreshRate;
  if (const TCapsWrapper* caps = fEngine.Caps(mode.Adapter)) {
    fMaxAnisotropy = static_cast<int>(std::min<uint32_t>(4, std::max<uint32_t>(1, caps->MaxAnisotropy)));
    fAnisotropy = (caps->Raster & kRasterAnisotropy) != 0;
    fMipBias = (caps->Raster & kRasterMipLodBias) != 0;
  }
  fLuminance = true;
  fPanelRect = fullScreen ? TRect{0, 0, mode.Monitor.Width(), mode.Monitor.Height()}
                          : (fDevice ? fDevice->Bounds() : TRect{});
}

void T3DRendererGL::CreationFailed() {
  fPending = false;
  fLostState = kLostDevice;
  if (OnDeviceKilled) OnDeviceKilled();
}

void T3DRendererGL::StoreGone() {
  fStore = nullptr;
  fRenderTarget = nullptr;
  fVertexShader = nullptr;
  fPixelShader = nullptr;
  fHelperList.reset();
  fLostState = kLostDevice;
  if (OnDeviceKilled) OnDeviceKilled();
}

void T3DRendererGL::ShaderGone(T3DShaderGL* shader) {
  if (fVertexShader == shader) fVertexShader = nullptr;
  if (fPixelShader == shader) fPixelShader = nullptr;
}

void T3DRendererGL::TextureGone(T3DTextureGL* texture) {
  if (fRenderTarget && fRenderTarget->Texture() == texture) fRenderTarget = nullptr;
}

TRect T3DRendererGL::PanelRect() const { return fPanelRect; }

int T3DRendererGL::DrawableHeight() const {
  int w = 0;
  int h = 0;
  if (fStore && fStore->Window()) SDL_GL_GetDrawableSize(fStore->Window(), &w, &h);
  return h;
}

bool T3DRendererGL::IsOperational() {
  std::lock_guard guard(DeviceLock());
  return !fPending && fStore && fLostState == kLostNone;
}

void T3DRendererGL::LeaveThread() {
  std::lock_guard guard(DeviceLock());
  if (fStore) fStore->ReleaseCurrent();
}

void T3DRendererGL::SimulateDeviceLoss() {
  std::lock_guard guard(DeviceLock());
  if (fStore) fStore->DestroyContext();
}

void T3DRendererGL::SetVideoMemoryBudget(size_t bytes) {
  std::lock_guard guard(DeviceLock());
  if (fStore) fStore->SetMemoryBudget(bytes);
}

size_t T3DRendererGL::VideoMemoryInUse() {
  std::lock_guard guard(DeviceLock());
  return fStore ? fStore->MemoryInUse() : 0;
}

bool T3DRendererGL::Enter() {
  if (fPending) return false;
  if (!fStore) {
    fLostState = kLostDevice;
    return false;
  }
  switch (fStore->TryMakeCurrent()) {
    case TMakeCurrent::Ok: break;
    case TMakeCurrent::Busy:
      // Another thread draws with the device: this call is refused, and
      // the device stays as it is.
      SetResult(kResultInvalidCall);
      return false;
    case TMakeCurrent::Failed:
      SetResult(kResultFailed, true);
      return false;
  }
  EnsureHelperList();
  return true;
}

void T3DRendererGL::CheckLost() {
  if (fLostState != kLostDevice || !fStore) return;
  TDevStore* store = fStore;
  if (fDevice) {
    if (auto* wrapper = fDevice->FindListener<TRectangleWrapper>()) {
      wrapper->NextWindowed = fEngine.IsReady() || !fExclusive;
    }
    fDevice->RemoveListener(store);
  }
  Log().Write("T3DRenderer9: DEVICE LOST!");
  delete store;
}

void T3DRendererGL::Record(const TGLResult& result) { SetResult(result.Category, result.Lost); }

void T3DRendererGL::EnsureHelperList() {
  if (fHelperList) return;
  // A transparent quad drawn at every frame's start, as the device's
  // states are set: it costs nothing and makes the first real draw of a
  // frame find everything bound.
  fHelperList = std::make_unique<T3DVertexListGL>(fStore, 4, true, 0);
  T3DVertex corners[4];
  const float xy[4][2] = {{-0.05f, -0.05f}, {-0.05f, -0.0f}, {-0.0f, -0.05f}, {-0.0f, -0.0f}};
  for (int i = 0; i < 4; ++i) {
    corners[i].X = xy[i][0];
    corners[i].Y = xy[i][1];
    corners[i].Color = 0;
  }
  fHelperList->Fill(corners, 0, 4);
  fHelperList->SetPrimitive(0, 2, kPrimTriangleStrip);
  GLint depth = 0;
  fStore->State().BindFramebuffer(0);
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE, &depth);
  TakeGLResult();
  fDepthBits = depth;
}

void T3DRendererGL::UpdateCombined() {
  fCombined = fTransforms[kTransformWorld] * fTransforms[kTransformView] * fTransforms[kTransformProjection];
  fCombinedSerial = NextSerial();
  fCombinedDirty = false;
}

T3DSurfaceRT* T3DRendererGL::CurrentTarget() {
  if (fRenderTarget) return fRenderTarget;
  return static_cast<T3DSurfaceRT*>(GetBackBuffer());
}

bool T3DRendererGL::UseProgram(TGLState& state, TGLProgram* program) {
  if (!program) {
    SetResult(kResultFailed);
    return false;
  }
  state.UseProgram(program->Name);
  if (fCombinedDirty) UpdateCombined();
  // Uniforms are sent only when they differ from what the program holds.
  if (program->Matrix >= 0 && program->MatrixSerial != fCombinedSerial) {
    glUniformMatrix4fv(program->Matrix, 1, GL_FALSE, &fCombined.M[0][0]);
    program->MatrixSerial = fCombinedSerial;
  }
  const float flip = TargetTexture() ? -1.0f : 1.0f;
  if (program->Flip >= 0 && program->FlipValue != flip) {
    glUniform1f(program->Flip, flip);
    program->FlipValue = flip;
  }
  return true;
}

T3DTextureGL* T3DRendererGL::TargetTexture() { return fRenderTarget ? fRenderTarget->Texture() : nullptr; }

void T3DRendererGL::ApplyTarget() {
  TGLState& state = fStore->State();
  T3DTextureGL* texture = TargetTexture();
  if (texture) {
    // A texture drawn into must not be bound for sampling at the same time.
    state.Unbind(texture->Name());
    state.BindFramebuffer(texture->Framebuffer());
  } else {
    state.BindFramebuffer(0);
  }
  GLint rect[4];
  CurrentTarget()->ToFramebufferRect(fViewport, rect);
  state.SetViewport(rect[0], std::min(rect[1], rect[3]), fViewport.Width(), fViewport.Height());
  // Counter-clockwise faces as the viewer sees them: on a texture target
  // GL sees the image turned over, so its winding is the other one.
  state.SetCull(!fCullNone, texture ? GL_CCW : GL_CW);
}

// ---------------------------------------------------------------------------

void T3DRendererGL::UpdateBounds() {
  std::lock_guard guard(DeviceLock());
  if (!fDevice || fExclusive) return;
  const TRect bounds = fFullScreen ? fPanelRect : fDevice->Bounds();
  fPanelRect = bounds;
  if (auto* panel = fDevice->FindListener<TWinPanel>()) panel->Rect = bounds;
  Log().WriteRect("Set DxPanel bounds: ", bounds.Left, bounds.Top, bounds.Right, bounds.Bottom);
}

bool T3DRendererGL::BeginScene() {
  TCall call(*this);
  if (!call.Ok()) return false;
  ApplyTarget();
  if (!SetDefaultStates()) return false;
  return true;
}

bool T3DRendererGL::EndScene() {
  TCall call(*this);
  if (!call.Ok()) return false;
  Record(TakeGLResult());
  return fLastError == kResultOk;
}

bool T3DRendererGL::Present(std::span<const TRect>, std::span<const TRect>) {
  // The wait happens outside the device lock, so other threads are not held
  // up by it in the calls that need only the lock (SetTransform,
  // IsOperational, ...). They still cannot draw or upload meanwhile: the
  // context stays current on the drawing thread, and a call from another
  // thread that needs it is refused as an invalid call.
  const int64_t now = static_cast<int64_t>(Clock().Milliseconds());
  const int64_t sleep = PresentSleepMs(RefreshPeriodMs(fRefreshRate), now - static_cast<int64_t>(fLastPresent));
  fLastPresent = static_cast<uint64_t>(now);
  SleepMs(static_cast<uint32_t>(sleep));
  TCall call(*this);
  if (!call.Ok()) return false;
  // The whole window is shown: the drawing area is the only thing drawn in it.
  SDL_GL_SwapWindow(fStore->Window());
  fLastPresent = Clock().Milliseconds();
  TGLResult result = TakeGLResult();
  if (fStore->WasReset()) {
    result.Category = kResultFailed;
    result.Lost = true;
  }
  Record(result);
  return result.Category == kResultOk;
}

bool T3DRendererGL::Clear(std::span<const TRect> rects, uint32_t flags, float depth, TColor color) {
  TCall call(*this);
  if (!call.Ok()) return false;
  ApplyTarget();
  GLbitfield mask = 0;
  if (flags & kClearTarget) mask |= GL_COLOR_BUFFER_BIT;
  if ((flags & kClearDepth) && !TargetTexture() && fDepthBits > 0) mask |= GL_DEPTH_BUFFER_BIT;
  if (!mask) return true;
  float c[4];
  ToFloats(color, c);
  glClearColor(c[0], c[1], c[2], c[3]);
  glClearDepth(depth);
  TGLState& state = fStore->State();
  state.SetScissor(true);
  T3DSurfaceRT* target = CurrentTarget();
  const TRect whole[1] = {fViewport};
  for (const TRect& rect : rects.empty() ? std::span<const TRect>(whole) : rects) {
    // Clearing stays inside the viewport, as drawing does.
    const TRect clipped = rect.Intersect(fViewport);
    if (clipped.IsEmpty()) continue;
    GLint gl[4];
    target->ToFramebufferRect(clipped, gl);
    glScissor(gl[0], std::min(gl[1], gl[3]), clipped.Width(), clipped.Height());
    glClear(mask);
  }
  state.SetScissor(false);
  Record(TakeGLResult());
  return fLastError == kResultOk;
}

bool T3DRendererGL::SetDefaultStates() {
  TCall call(*this);
  if (!call.Ok()) return false;
  TGLState& state = fStore->State();
  state.SetBlend(TBlendState{});
  if (fCombinedDirty) UpdateCombined();
  const uint8_t none[1] = {0};
  TGLProgram* program = fStore->Programs().Get(state, 0, 0, 0, 0, FixedStageKey(0, true, true, none));
  if (!UseProgram(state, program)) return false;
  GLint base = 0;
  if (!fHelperList->Bind(state, base)) return false;
  glDrawArrays(GL_TRIANGLE_STRIP, base, 4);
  Record(TakeGLResult());
  return fLastError == kResultOk;
}

bool T3DRendererGL::SetRenderTarget(T3DSurface* surface) {
  ZEL_ASSERT(!surface || surface->IsDeviceSurface(), "SetRenderTarget: not a device surface");
  TCall call(*this);
  if (!call.Ok()) return false;
  auto* target = static_cast<T3DSurfaceRT*>(surface);
  if (target && !target->IsBackBuffer()) {
    T3DTextureGL* texture = target->Texture();
    if (!texture || texture->Store() != fStore || !texture->Framebuffer()) {
      SetResult(kResultInvalidCall);
      return false;
    }
    fRenderTarget = target;
  } else {
    fRenderTarget = nullptr;
  }
  // A new target is drawn whole until a viewport says otherwise.
  const T3DSize size = CurrentTarget()->GetSize();
  fViewport = {0, 0, size.Width, size.Height};
  ApplyTarget();
  Record(TakeGLResult());
  return fLastError == kResultOk;
}

T3DSurface* T3DRendererGL::GetRenderTarget() {
  std::lock_guard guard(DeviceLock());
  return fRenderTarget ? static_cast<T3DSurface*>(fRenderTarget) : GetBackBuffer();
}

T3DSurface* T3DRendererGL::GetBackBuffer() {
  std::lock_guard guard(DeviceLock());
  if (!fBackBuffer) fBackBuffer = std::make_unique<T3DSurfaceRT>(this);
  return fBackBuffer.get();
}

bool T3DRendererGL::SetViewport(const TRect& rect, float minDepth, float maxDepth) {
  TCall call(*this);
  if (!call.Ok()) return false;
  fViewport = rect;
  if (minDepth != fMinDepth || maxDepth != fMaxDepth) {
    fMinDepth = minDepth;
    fMaxDepth = maxDepth;
    glDepthRange(minDepth, maxDepth);
  }
  ApplyTarget();
  Record(TakeGLResult());
  return fLastError == kResultOk;
}

bool T3DRendererGL::DrawPrimitives(std::span<T3DTexture* const> textures, uint32_t flags, T3DVertexList& list) {
  TCall call(*this);
  if (!call.Ok()) return false;
  auto* vertices = dynamic_cast<T3DVertexListGL*>(&list);
  if (!vertices || vertices->Store() != fStore || !vertices->IsValid()) {
    SetResult(kResultInvalidCall);
    return false;
  }
  const int vertexCount = PrimitiveVertexCount(list.PrimitiveType(), list.PrimitiveCount());
  if (vertexCount == 0) return true;
  if (list.FirstVertex() < 0 || list.FirstVertex() + vertexCount > list.VertexCount()) {
    SetResult(kResultInvalidCall);
    return false;
  }
  TGLState& state = fStore->State();
  ApplyTarget();

  // 2. to 4. The texture stages.
  const int count = (flags & kDrawTextured) ? static_cast<int>(std::min<size_t>(textures.size(), kMaxTextureStages)) : 0;
  uint8_t alphaModes[kMaxTextureStages] = {};
  bool anyPremultiplied = false;
  for (int i = 0; i < count; ++i) {
    auto* texture = dynamic_cast<T3DTextureGL*>(textures[static_cast<size_t>(i)]);
    if (!texture || texture->Store() != fStore || !texture->Name()) {
      SetResult(kResultInvalidCall);
      return false;
    }
    state.BindTexture(i, texture->Name());
    texture->ApplySampler(state, i, fAnisotropy, fMaxAnisotropy, fMipBias);
    anyPremultiplied = anyPremultiplied || texture->Premultiplied();
    if (!(flags & kDrawModulateAlpha)) {
      alphaModes[i] = kStageAlphaTexture;
    } else if (texture->Kind() == kTexKindTargetNoAlpha ||
               (texture->Kind() == kTexKindTarget && !texture->Premultiplied())) {
      alphaModes[i] = kStageAlphaCurrent;
    } else {
      alphaModes[i] = kStageAlphaModulate;
    }
  }
  const uint32_t key =
      FixedStageKey(count, (flags & kDrawModulateColor) != 0, (flags & kDrawModulateAlpha) != 0, alphaModes);
  TGLProgram* program = fStore->Programs().Get(state, fVertexShader ? fVertexShader->Id() : 0,
                                               fVertexShader ? fVertexShader->Name() : 0,
                                               fPixelShader ? fPixelShader->Id() : 0,
                                               fPixelShader ? fPixelShader->Name() : 0, key);
  if (!UseProgram(state, program)) return false;
  if (program->VertexRegisters >= 0 && program->VertexSerial != fVertexSerial) {
    glUniform4fv(program->VertexRegisters, program->VertexRegisterCount, fVertexRegisters);
    program->VertexSerial = fVertexSerial;
  }
  if (program->PixelRegisters >= 0 && program->PixelSerial != fPixelSerial) {
    glUniform4fv(program->PixelRegisters, program->PixelRegisterCount, fPixelRegisters);
    program->PixelSerial = fPixelSerial;
  }

  // 5. Blending. Lighting (flag 8) has no counterpart: nothing here lights
  // vertices, so the vertex colour is used as it is.
  TBlendState blend;
  if (fBlendMode == kBlendMaximum) {
    blend.EquationColor = blend.EquationAlpha = GL_MAX;
  } else {
    if (anyPremultiplied) blend.SourceColor = blend.SourceAlpha = GL_ONE;
    T3DTextureGL* target = TargetTexture();
    if (target && target->Premultiplied()) {
      // The target's alpha accumulates coverage.
      blend.SourceAlpha = GL_ONE;
      blend.DestAlpha = GL_ONE_MINUS_SRC_ALPHA;
    }
  }
  state.SetBlend(blend);

  // 6. Draw.
  GLint base = 0;
  if (!vertices->Bind(state, base)) {
    SetResult(kResultInvalidCall);
    return false;
  }
  glDrawArrays(ModeOf(list.PrimitiveType()), base + list.FirstVertex(), vertexCount);
  Record(TakeGLResult());
  return fLastError == kResultOk;
}

std::unique_ptr<T3DTexture> T3DRendererGL::CreateTexture(uint8_t kind, int width, int height, bool mipmaps) {
  ZEL_ASSERT(kind <= kTexKindLast, "Unknown texture kind " + std::to_string(kind));
  TCall call(*this);
  if (!call.Ok()) return nullptr;
  if (width <= 0 || height <= 0) {
    SetResult(kResultInvalidCall);
    return nullptr;
  }
  int levels = 1;
  if (mipmaps && fAnisotropy && !IsRenderTargetKind(kind)) {
    levels = 1 + static_cast<int>(std::floor(std::log2(static_cast<double>(std::max(width, height)))));
  }
  TGLResult result;
  auto texture = std::make_unique<T3DTextureGL>(fStore, kind, width, height, levels, result);
  Record(result);
  if (result.Category != kResultOk) return nullptr;
  return texture;
}

std::unique_ptr<T3DVertexList> T3DRendererGL::CreateVertexList(int vertexCount, bool hasColor, int texCoordCount) {
  TCall call(*this);
  if (!call.Ok()) return nullptr;
  if (vertexCount <= 0 || texCoordCount < 0 || texCoordCount > kMaxTextureStages) {
    SetResult(kResultInvalidCall);
    return nullptr;
  }
  TakeGLResult();
  auto list = std::make_unique<T3DVertexListGL>(fStore, vertexCount, hasColor, texCoordCount);
  Record(TakeGLResult());
  if (fLastError != kResultOk) return nullptr;
  return list;
}

bool T3DRendererGL::StretchRects(T3DSurface& source, T3DSurface& dest, std::span<const TRect> sourceRects,
                                 std::span<const TRect> destRects) {
  ZEL_ASSERT(source.IsDeviceSurface() && dest.IsDeviceSurface(), "StretchRects: not a device surface");
  TCall call(*this);
  if (!call.Ok()) return false;
  auto& from = static_cast<T3DSurfaceRT&>(source);
  auto& to = static_cast<T3DSurfaceRT&>(dest);
  if ((!from.IsBackBuffer() && (!from.Texture() || from.Texture()->Store() != fStore)) ||
      (!to.IsBackBuffer() && (!to.Texture() || to.Texture()->Store() != fStore))) {
    SetResult(kResultInvalidCall);
    return false;
  }
  TGLState& state = fStore->State();
  state.SetScissor(false);
  if (to.Texture()) state.Unbind(to.Texture()->Name());
  glBindFramebuffer(GL_READ_FRAMEBUFFER, from.Framebuffer());
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, to.Framebuffer());
  const size_t count = std::min(sourceRects.size(), destRects.size());
  for (size_t i = 0; i < count; ++i) {
    GLint a[4];
    GLint b[4];
    // Both rectangles keep their top edge first, so a copy between the
    // window and a texture turns the rows over as it should.
    from.ToFramebufferRect(sourceRects[i], a);
    to.ToFramebufferRect(destRects[i], b);
    glBlitFramebuffer(a[0], a[1], a[2], a[3], b[0], b[1], b[2], b[3], GL_COLOR_BUFFER_BIT, GL_NEAREST);
  }
  glBindFramebuffer(GL_FRAMEBUFFER, state.Framebuffer());
  Record(TakeGLResult());
  return fLastError == kResultOk;
}

void T3DRendererGL::SetBlendMode(uint8_t mode) { fBlendMode = mode; }

bool T3DRendererGL::SetTransform(int which, const T3DMatrix& matrix) {
  ZEL_ASSERT(which >= kTransformWorld && which <= kTransformProjection, "Unknown transform " + std::to_string(which));
  std::lock_guard guard(DeviceLock());
  if (!(fTransforms[which] == matrix)) {
    fTransforms[which] = matrix;
    fCombinedDirty = true;
  }
  return true;
}

void T3DRendererGL::SetCullNone(bool none) { fCullNone = none; }

TFloatPoint T3DRendererGL::PixelCenterOffset() {
  // Deliberately (0, 0): GL samples pixels at their centres (x + 0.5,
  // y + 0.5) and puts texel centres at half-texel positions too, so a
  // screen pixel and the texel drawn into it already line up. The half-pixel
  // shift the projection can apply is for devices whose pixel centres lie
  // on the integer corners.
  return {0.0f, 0.0f};
}

std::unique_ptr<T3DShader> T3DRendererGL::CreateShader(const std::string& source, bool vertex) {
  TCall call(*this);
  if (!call.Ok()) return nullptr;
  auto shader = std::make_unique<T3DShaderGL>(fStore, source, vertex);
  if (!shader->Name()) {
    Log().Write("CreateShader: " + shader->Error());
    SetResult(kResultInvalidCall);
    return nullptr;
  }
  SetResult(kResultOk);
  return shader;
}

bool T3DRendererGL::SetShader(T3DShader* shader) {
  std::lock_guard guard(DeviceLock());
  if (!shader) {
    fVertexShader = nullptr;
    fPixelShader = nullptr;
    return true;
  }
  auto* gl = dynamic_cast<T3DShaderGL*>(shader);
  if (!gl || gl->Store() != fStore || !gl->Name()) return false;
  (gl->IsVertex() ? fVertexShader : fPixelShader) = gl;
  return true;
}

bool T3DRendererGL::SetShaderConstants(bool vertex, int firstRegister, std::span<const float> values, int registerCount) {
  std::lock_guard guard(DeviceLock());
  const int limit = vertex ? kMaxVertexRegisters : kMaxPixelRegisters;
  if (firstRegister < 0 || registerCount < 0 || firstRegister + registerCount > limit ||
      values.size() < static_cast<size_t>(registerCount) * 4) {
    return false;
  }
  float* registers = vertex ? fVertexRegisters : fPixelRegisters;
  std::memcpy(registers + static_cast<size_t>(firstRegister) * 4, values.data(),
              static_cast<size_t>(registerCount) * 4 * sizeof(float));
  (vertex ? fVertexSerial : fPixelSerial) = NextSerial();
  return true;
}

}  // namespace zel
