// The device store: one per draw device. It holds the GL context shared by
// every renderer opened on the device, the context's state cache and
// programs, and the list of textures, vertex lists and shaders made in it.
// Freeing the store (device loss, or the device going) frees the context
// and tells each of them that its device is gone.
#pragma once

#include <SDL.h>
#include <epoxy/gl.h>

#include <cstddef>
#include <thread>
#include <vector>

#include "core/obj.h"
#include "imaging/geometry.h"
#include "render/device_3d.h"
#include "render/gl/gl_state.h"
#include "render/gl/stage_programs.h"

namespace zel {

class TDevStore;
class T3DRendererGL;

// A GL object of a store. It registers itself and unregisters when it goes;
// after the store went first it is an empty shell.
class TGLStoreObject {
 public:
  explicit TGLStoreObject(TDevStore* store);
  virtual ~TGLStoreObject();
  TGLStoreObject(const TGLStoreObject&) = delete;
  TGLStoreObject& operator=(const TGLStoreObject&) = delete;

  TDevStore* Store() const { return fStore; }
  // The store is going; the GL names die with its context.
  virtual void StoreGone() { fStore = nullptr; }
  virtual T3DDeviceObject& DeviceObject() = 0;

 protected:
  TDevStore* fStore;
};

// The drawing area of a windowed device inside its window: the stand-in
// for a child window, which SDL does not have.
class TWinPanel : public TObj {
 public:
  SDL_Window* Window = nullptr;
  TRect Rect;
  bool Shown = false;
};

enum class TGLName { Texture, Framebuffer, Buffer, VertexArray, Shader, Program };

// What MakeCurrent found.
enum class TMakeCurrent {
  Ok,
  // Another thread holds the context (it draws with it): this thread cannot
  // use the device now, but nothing is wrong with the device.
  Busy,
  // The context is gone, or SDL refused it with no other thread holding
  // it: the device is lost.
  Failed,
};

class TDevStore : public TObj {
 public:
  TDevStore(SDL_Window* window, SDL_GLContext context, bool robust);
  ~TDevStore() override;

  SDL_Window* Window() const { return fWindow; }
  void SetWindow(SDL_Window* window) { fWindow = window; }
  bool HasContext() const { return fContext != nullptr; }

  // Makes the context current on the calling thread (the drawing thread
  // takes it for itself this way, and owns it until ReleaseCurrent). Call
  // under the device lock.
  TMakeCurrent TryMakeCurrent();
  bool MakeCurrent() { return TryMakeCurrent() == TMakeCurrent::Ok; }
  bool IsCurrent() const;
  // The thread that holds the context; none when no thread does.
  std::thread::id Owner() const { return fOwner; }
  // Whether the context reports that it was reset (robust contexts only).
  bool WasReset();
  // Gives the context up on the calling thread, so another thread can take it.
  void ReleaseCurrent();

  TGLState& State() { return fState; }
  TProgramCache& Programs() { return fPrograms; }

  void Add(TGLStoreObject* object);
  void Remove(TGLStoreObject* object);
  void AddRenderer(T3DRendererGL* renderer);
  void RemoveRenderer(T3DRendererGL* renderer);
  const std::vector<T3DRendererGL*>& Renderers() const { return fRenderers; }

  // Deletes a GL object now when the context is current on this thread,
  // else the next time it is made current (on whichever thread). The list
  // changes (Add, Remove, Delete) take the device lock themselves, as
  // objects may go on any thread while the drawing thread collects.
  void Delete(TGLName kind, GLuint name);

  // Video memory accounting. Without a budget only the driver can refuse
  // memory; with one, a texture that would pass it fails as out of video
  // memory (tests use it to make the driver's refusal happen on demand).
  bool Reserve(size_t bytes);
  void Unreserve(size_t bytes);
  size_t MemoryInUse() const { return fInUse; }
  void SetMemoryBudget(size_t bytes) { fBudget = bytes; }

  // The context is destroyed behind the renderers' backs: what a driver
  // reset does. The next call on it fails and is treated as device loss.
  void DestroyContext();

  // Set when the presentation interval must be applied once the context is
  // current on the drawing thread.
  int SwapInterval = 1;

 private:
  void CollectGarbage();

  SDL_Window* fWindow;
  SDL_GLContext fContext;
  const bool fRobust;
  bool fInitialised = false;
  bool fSwapIntervalApplied = false;
  TGLState fState;
  TProgramCache fPrograms;
  std::vector<TGLStoreObject*> fObjects;
  std::vector<T3DRendererGL*> fRenderers;
  std::vector<std::pair<TGLName, GLuint>> fGarbage;
  std::thread::id fOwner;
  size_t fBudget = 0;
  size_t fInUse = 0;
};

// Makes a context current for the life of a scope and then puts back what
// the thread had before (nothing, or another context).
class TScopedCurrent {
 public:
  TScopedCurrent(SDL_Window* window, SDL_GLContext context);
  ~TScopedCurrent();
  TScopedCurrent(const TScopedCurrent&) = delete;
  TScopedCurrent& operator=(const TScopedCurrent&) = delete;
  bool Ok() const { return fOk; }

 private:
  SDL_Window* fPreviousWindow;
  SDL_GLContext fPreviousContext;
  SDL_Window* fWindow;
  bool fOk;
};

// Whether GL offers the reset status query.
bool HasResetStatusQuery();

}  // namespace zel
