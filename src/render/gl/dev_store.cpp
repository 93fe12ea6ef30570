#include "render/gl/dev_store.h"

#include <algorithm>

#include "core/log.h"
#include "render/engine_3d.h"
#include "render/gl/renderer_gl.h"

namespace zel {

TGLStoreObject::TGLStoreObject(TDevStore* store) : fStore(store) {
  if (fStore) fStore->Add(this);
}

TGLStoreObject::~TGLStoreObject() {
  std::lock_guard guard(DeviceLock());
  if (fStore) fStore->Remove(this);
}

// ---------------------------------------------------------------------------

bool HasResetStatusQuery() {
  return epoxy_gl_version() >= 45 || epoxy_has_gl_extension("GL_KHR_robustness") ||
         epoxy_has_gl_extension("GL_ARB_robustness");
}

TDevStore::TDevStore(SDL_Window* window, SDL_GLContext context, bool robust)
    : fWindow(window), fContext(context), fRobust(robust) {}

TDevStore::~TDevStore() {
  std::lock_guard guard(DeviceLock());
  // Each object is taken out before it hears of the loss: its notification
  // may free it, or free others, which then find the list without them.
  while (!fObjects.empty()) {
    TGLStoreObject* object = fObjects.front();
    fObjects.erase(fObjects.begin());
    object->StoreGone();
    const std::function<void()> lost = object->DeviceObject().OnLost;
    if (lost) lost();
  }
  while (!fRenderers.empty()) {
    T3DRendererGL* renderer = fRenderers.front();
    fRenderers.erase(fRenderers.begin());
    renderer->StoreGone();
  }
  // The context takes every remaining GL object with it.
  fGarbage.clear();
  fPrograms.Clear(false);
  if (fContext) {
    if (SDL_GL_GetCurrentContext() == fContext) SDL_GL_MakeCurrent(fWindow, nullptr);
    SDL_GL_DeleteContext(fContext);
    fContext = nullptr;
  }
  fOwner = {};
}

bool TDevStore::IsCurrent() const {
  return fContext && SDL_GL_GetCurrentContext() == fContext && SDL_GL_GetCurrentWindow() == fWindow;
}

TMakeCurrent TDevStore::TryMakeCurrent() {
  if (!fContext) return TMakeCurrent::Failed;
  const std::thread::id self = std::this_thread::get_id();
  if (!IsCurrent()) {
    // A context is current on one thread at a time: while the drawing
    // thread holds it, a call from elsewhere is refused without asking the
    // driver, whose refusal would look like a lost device.
    if (fOwner != std::thread::id{} && fOwner != self) return TMakeCurrent::Busy;
    if (SDL_GL_MakeCurrent(fWindow, fContext) != 0) {
      Log().Write(std::string("SDL_GL_MakeCurrent: ") + SDL_GetError());
      return TMakeCurrent::Failed;
    }
  }
  fOwner = self;
  if (!fInitialised) {
    fState.Reset();
    fInitialised = true;
  }
  if (!fSwapIntervalApplied) {
    // Not every driver can pace by the display (the offscreen one cannot);
    // the renderer paces by sleeping in any case.
    SDL_GL_SetSwapInterval(SwapInterval);
    fSwapIntervalApplied = true;
  }
  if (!fGarbage.empty()) CollectGarbage();
  return TMakeCurrent::Ok;
}

void TDevStore::ReleaseCurrent() {
  if (!IsCurrent()) return;
  SDL_GL_MakeCurrent(fWindow, nullptr);
  fOwner = {};
}

bool TDevStore::WasReset() {
  if (!fRobust || !IsCurrent() || !HasResetStatusQuery()) return false;
  return glGetGraphicsResetStatus() != GL_NO_ERROR;
}

void TDevStore::Add(TGLStoreObject* object) {
  std::lock_guard guard(DeviceLock());
  fObjects.push_back(object);
}

void TDevStore::Remove(TGLStoreObject* object) {
  std::lock_guard guard(DeviceLock());
  auto it = std::find(fObjects.begin(), fObjects.end(), object);
  if (it != fObjects.end()) fObjects.erase(it);
}

void TDevStore::AddRenderer(T3DRendererGL* renderer) {
  if (std::find(fRenderers.begin(), fRenderers.end(), renderer) == fRenderers.end()) fRenderers.push_back(renderer);
}

void TDevStore::RemoveRenderer(T3DRendererGL* renderer) {
  auto it = std::find(fRenderers.begin(), fRenderers.end(), renderer);
  if (it != fRenderers.end()) fRenderers.erase(it);
}

void TDevStore::Delete(TGLName kind, GLuint name) {
  std::lock_guard guard(DeviceLock());
  if (!name || !fContext) return;
  if (!IsCurrent()) {
    fGarbage.emplace_back(kind, name);
    return;
  }
  switch (kind) {
    case TGLName::Texture:
      fState.Unbind(name);
      glDeleteTextures(1, &name);
      break;
    case TGLName::Framebuffer:
      if (fState.Framebuffer() == name) fState.BindFramebuffer(0);
      glDeleteFramebuffers(1, &name);
      break;
    case TGLName::Buffer:
      fState.Forget(0, 0, name);
      glDeleteBuffers(1, &name);
      break;
    case TGLName::VertexArray:
      fState.Forget(0, name, 0);
      glDeleteVertexArrays(1, &name);
      break;
    case TGLName::Shader: glDeleteShader(name); break;
    case TGLName::Program:
      fState.Forget(name, 0, 0);
      glDeleteProgram(name);
      break;
  }
}

void TDevStore::CollectGarbage() {
  auto garbage = std::move(fGarbage);
  fGarbage.clear();
  for (auto& [kind, name] : garbage) Delete(kind, name);
}

bool TDevStore::Reserve(size_t bytes) {
  if (fBudget && fInUse + bytes > fBudget) return false;
  fInUse += bytes;
  return true;
}

void TDevStore::Unreserve(size_t bytes) { fInUse -= std::min(bytes, fInUse); }

void TDevStore::DestroyContext() {
  std::lock_guard guard(DeviceLock());
  if (!fContext) return;
  fGarbage.clear();
  fPrograms.Clear(false);
  if (SDL_GL_GetCurrentContext() == fContext) SDL_GL_MakeCurrent(fWindow, nullptr);
  SDL_GL_DeleteContext(fContext);
  fContext = nullptr;
  fOwner = {};
}

// ---------------------------------------------------------------------------

TScopedCurrent::TScopedCurrent(SDL_Window* window, SDL_GLContext context)
    : fPreviousWindow(SDL_GL_GetCurrentWindow()), fPreviousContext(SDL_GL_GetCurrentContext()), fWindow(window) {
  fOk = context && (context == fPreviousContext && window == fPreviousWindow ? true
                                                                             : SDL_GL_MakeCurrent(window, context) == 0);
}

TScopedCurrent::~TScopedCurrent() {
  if (fPreviousContext) {
    if (SDL_GL_GetCurrentContext() != fPreviousContext || SDL_GL_GetCurrentWindow() != fPreviousWindow) {
      SDL_GL_MakeCurrent(fPreviousWindow, fPreviousContext);
    }
  } else if (SDL_GL_GetCurrentContext()) {
    SDL_GL_MakeCurrent(fWindow, nullptr);
  }
}

}  // namespace zel
