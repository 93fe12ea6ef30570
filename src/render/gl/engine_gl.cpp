#include "render/gl/engine_gl.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cctype>
#include <chrono>

#include "app/application.h"
#include "app/session_manager.h"
#include "core/log.h"
#include "render/draw_device.h"
#include "render/gl/dev_store.h"
#include "render/gl/renderer_gl.h"

namespace zel {

namespace {

// Asks the interface thread to make the hidden device.
class THiddenDeviceRequest : public TObj {};

std::string Lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

std::string GLText(GLenum name) {
  const GLubyte* text = glGetString(name);
  return text ? reinterpret_cast<const char*>(text) : "";
}

}  // namespace

uint32_t VendorIdOf(const std::string& vendor, const std::string& renderer) {
  const std::string text = Lower(vendor) + " " + Lower(renderer);
  if (text.find("intel") != std::string::npos) return 0x8086;
  if (text.find("nvidia") != std::string::npos) return 0x10DE;
  if (text.find("amd") != std::string::npos || text.find("ati technologies") != std::string::npos ||
      text.find("radeon") != std::string::npos) {
    return 0x1002;
  }
  return 0;
}

std::unique_ptr<T3DEngine> CreatePlatformEngine() { return T3DEngineGL::Open(); }

TInitData::~TInitData() {
  std::lock_guard guard(DeviceLock());
  // The record goes without having been carried out (the application
  // closed its queue): the renderer will never have a device.
  if (Renderer) {
    Renderer->SetCreationRecord(nullptr);
    Renderer->CreationFailed();
  }
}

// ---------------------------------------------------------------------------

std::unique_ptr<T3DEngineGL> T3DEngineGL::Open() {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    Log().Write(std::string("SDL video: ") + SDL_GetError());
    return nullptr;
  }
  std::unique_ptr<T3DEngineGL> engine(new T3DEngineGL());
  SetAttributes(true);
  if (engine->OnInterfaceThread()) {
    if (!engine->EnsureHiddenDevice()) return nullptr;
  } else {
    std::lock_guard hidden(engine->fHiddenLock);
    engine->fHiddenPending = engine->Post(std::make_unique<THiddenDeviceRequest>());
  }
  return engine;
}

T3DEngineGL::~T3DEngineGL() {
  if (fApplication && Application() == fApplication && fEventId) {
    fApplication->Unsubscribe(fEventId, TEventHandler::Of<&T3DEngineGL::OnInterfaceEvent>(this));
  }
  if (fHiddenContext) {
    if (SDL_GL_GetCurrentContext() == fHiddenContext) SDL_GL_MakeCurrent(fHiddenWindow, nullptr);
    SDL_GL_DeleteContext(fHiddenContext);
  }
  if (fHiddenWindow) SDL_DestroyWindow(fHiddenWindow);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool T3DEngineGL::OnInterfaceThread() const {
  TApplication* app = Application();
  return !app || app->IsInterfaceThread();
}

void T3DEngineGL::SetAttributes(bool robust) {
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
  // A robust context reports a driver reset instead of failing silently,
  // which is how a lost device shows itself on GL.
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, robust ? SDL_GL_CONTEXT_ROBUST_ACCESS_FLAG : 0);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_RESET_NOTIFICATION,
                      robust ? SDL_GL_CONTEXT_RESET_LOSE_CONTEXT : SDL_GL_CONTEXT_RESET_NO_NOTIFICATION);
}

SDL_GLContext T3DEngineGL::CreateContext(SDL_Window* window, bool& robust) {
  SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
  SDL_GLContext previous = SDL_GL_GetCurrentContext();
  SetAttributes(true);
  SDL_GLContext context = SDL_GL_CreateContext(window);
  robust = context != nullptr;
  if (!context) {
    SetAttributes(false);
    context = SDL_GL_CreateContext(window);
    SetAttributes(true);
  }
  if (!context) {
    Log().Write(std::string("SDL_GL_CreateContext: ") + SDL_GetError());
    return nullptr;
  }
  // The thread that draws takes the context for itself.
  if (previous) {
    SDL_GL_MakeCurrent(previousWindow, previous);
  } else {
    SDL_GL_MakeCurrent(window, nullptr);
  }
  return context;
}

bool T3DEngineGL::EnsureHiddenDevice() {
  std::lock_guard guard(DeviceLock());
  if (fHiddenContext) return true;
  if (!fHiddenWindow) {
    fHiddenWindow = SDL_CreateWindow("zelplayer hidden device", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 16, 16,
                                     SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!fHiddenWindow) {
      Log().Write(std::string("SDL_CreateWindow: ") + SDL_GetError());
      return false;
    }
  }
  fHiddenContext = CreateContext(fHiddenWindow, fHiddenRobust);
  if (!fHiddenContext) return false;
  TScopedCurrent current(fHiddenWindow, fHiddenContext);
  if (!current.Ok()) return false;
  auto caps = std::make_unique<TCapsWrapper>();
  caps->VendorName = GLText(GL_VENDOR);
  caps->RendererName = GLText(GL_RENDERER);
  caps->Version = GLText(GL_VERSION);
  caps->ShadingLanguage = GLText(GL_SHADING_LANGUAGE_VERSION);
  caps->Vendor = VendorIdOf(caps->VendorName, caps->RendererName);
  // GLSL 3.30 does everything pixel shaders 3.0 do.
  caps->PixelShaderVersion = epoxy_gl_version() >= 33 ? PixelShaderVersion(3, 0) : PixelShaderVersion(2, 0);
  GLint size = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
  caps->MaxTextureWidth = caps->MaxTextureHeight = static_cast<uint32_t>(std::max(size, 0));
  caps->Raster = kRasterMipLodBias;  // GL_TEXTURE_LOD_BIAS is core
  if (epoxy_gl_version() >= 46 || epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic") ||
      epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic")) {
    GLfloat anisotropy = 1.0f;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY, &anisotropy);
    caps->MaxAnisotropy = static_cast<uint32_t>(anisotropy);
    if (caps->MaxAnisotropy > 1) caps->Raster |= kRasterAnisotropy;
  } else {
    caps->MaxAnisotropy = 1;
  }
  while (glGetError() != GL_NO_ERROR) {
  }
  fCaps = std::move(caps);
  return true;
}

const TCapsWrapper* T3DEngineGL::Caps(int adapter) {
  if (adapter < 0 || adapter >= std::max(1, SDL_GetNumVideoDisplays())) return nullptr;
  if (OnInterfaceThread()) {
    if (!fCaps && EnsureHiddenDevice()) HiddenDeviceDone();
    return fCaps.get();
  }
  // The interface thread sets the capabilities before it clears the flag.
  std::unique_lock hidden(fHiddenLock);
  if (fHiddenPending &&
      !fHiddenDone.wait_for(hidden, std::chrono::milliseconds(kHiddenDeviceWaitMs), [this] { return !fHiddenPending; })) {
    Log().Write("T3DEngine: the hidden device is not made yet");
  }
  return fHiddenPending ? nullptr : fCaps.get();
}

void T3DEngineGL::HiddenDeviceDone() {
  {
    std::lock_guard hidden(fHiddenLock);
    fHiddenPending = false;
  }
  fHiddenDone.notify_all();
}

bool T3DEngineGL::Post(std::unique_ptr<TObj> record) {
  TApplication* app = Application();
  if (!app) return false;
  if (fApplication != app) {
    fApplication = app;
    fEventId = app->NewEvent(TEventHandler::Of<&T3DEngineGL::OnInterfaceEvent>(this));
  }
  app->Post(fEventId, std::move(record));
  return true;
}

void T3DEngineGL::OnInterfaceEvent(TObj*, TEventId, TObj* param) {
  std::lock_guard guard(DeviceLock());
  if (auto* init = dynamic_cast<TInitData*>(param)) {
    T3DRendererGL* renderer = init->Renderer;
    if (!renderer) return;
    init->Renderer = nullptr;
    renderer->SetCreationRecord(nullptr);
    if (!InternalCreateRenderer(*renderer, init->Mode)) renderer->CreationFailed();
  } else if (auto* release = dynamic_cast<TReleaseData*>(param)) {
    // The window may be gone by now; its id then finds nothing.
    if (SDL_Window* window = SDL_GetWindowFromID(release->WindowId)) {
      RestoreWindow(window, release->Rect, release->Bordered);
    }
  } else if (dynamic_cast<THiddenDeviceRequest*>(param)) {
    EnsureHiddenDevice();
    HiddenDeviceDone();
  }
}

// ---------------------------------------------------------------------------

int T3DEngineGL::FindAdapter(const TRect& rect) {
  int best = 0;
  int64_t bestArea = 0;
  const int count = SDL_GetNumVideoDisplays();
  for (int i = 0; i < count; ++i) {
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(i, &bounds) != 0) continue;
    const TRect overlap = rect.Intersect(TRect::FromSize(bounds.x, bounds.y, bounds.w, bounds.h));
    if (overlap.IsEmpty()) continue;
    const int64_t area = static_cast<int64_t>(overlap.Width()) * overlap.Height();
    if (area > bestArea) {
      bestArea = area;
      best = i;
    }
  }
  return best;
}

uint32_t T3DEngineGL::GetCaps(std::string_view name, int adapter) {
  const TCapsWrapper* caps = Caps(adapter);
  if (!caps) {
    fLastError = kResultFailed;
    return 0;
  }
  fLastError = kResultOk;
  const std::string key = Lower(name);
  if (key == "pixelshaderversion") return caps->PixelShaderVersion;
  if (key == "maxtexwidth") return caps->MaxTextureWidth;
  if (key == "maxtexheight") return caps->MaxTextureHeight;
  if (key == "maxanisotropy") return caps->MaxAnisotropy;
  if (key == "raster") return caps->Raster;
  if (key == "vendor") return caps->Vendor;
  return 0;
}

bool T3DEngineGL::GetAdapterMode(int adapter, TAdapterMode& mode) {
  SDL_DisplayMode display{};
  SDL_Rect bounds;
  if (SDL_GetCurrentDisplayMode(adapter, &display) != 0 || SDL_GetDisplayBounds(adapter, &bounds) != 0) return false;
  mode.Monitor = TRect::FromSize(bounds.x, bounds.y, bounds.w, bounds.h);
  mode.RefreshRate = display.refresh_rate;
  mode.Format = display.format;
  mode.Adapter = adapter;
  return true;
}

bool T3DEngineGL::IsReady() {
  if (Application() && IsSessionLocked()) return false;
  std::lock_guard guard(DeviceLock());
  if (!fHiddenContext) return true;
  if (!fHiddenRobust || !OnInterfaceThread()) return true;
  TScopedCurrent current(fHiddenWindow, fHiddenContext);
  if (!current.Ok() || !HasResetStatusQuery()) return current.Ok();
  if (glGetGraphicsResetStatus() == GL_NO_ERROR) return true;
  // The driver was reset: the hidden device is made again, which tells
  // whether drawing is possible now.
  SDL_GL_MakeCurrent(fHiddenWindow, nullptr);
  SDL_GL_DeleteContext(fHiddenContext);
  fHiddenContext = nullptr;
  return EnsureHiddenDevice();
}

bool T3DEngineGL::GetAdapterIdentity(int adapter, TAdapterIdentity& identity) {
  const TCapsWrapper* caps = Caps(adapter);
  if (!caps) return false;
  identity.Description = caps->RendererName;
  identity.Vendor = caps->VendorName;
  identity.Version = caps->Version;
  identity.ShadingLanguage = caps->ShadingLanguage;
  return true;
}

int T3DEngineGL::ShaderLevel(int adapter) { return ShaderLevelFor(GetCaps("vendor", adapter), GetCaps("pixelshaderversion", adapter)); }

void T3DEngineGL::RestoreWindow(SDL_Window* window, const TRect& rect, bool bordered) {
  if (!window) return;
  if (!OnInterfaceThread()) {
    auto record = std::make_unique<TReleaseData>();
    record->WindowId = SDL_GetWindowID(window);
    record->Rect = rect;
    record->Bordered = bordered;
    Post(std::move(record));
    return;
  }
  SDL_SetWindowBordered(window, bordered ? SDL_TRUE : SDL_FALSE);
  SDL_SetWindowPosition(window, rect.Left, rect.Top);
  if (!rect.IsEmpty()) SDL_SetWindowSize(window, rect.Width(), rect.Height());
}

std::unique_ptr<T3DRenderer> T3DEngineGL::CreateRenderer(TDrawDevice& device, const TAdapterMode& mode) {
  std::lock_guard guard(DeviceLock());
  auto renderer = std::make_unique<T3DRendererGL>(*this, device, mode);
  if (OnInterfaceThread()) {
    if (!InternalCreateRenderer(*renderer, mode)) return nullptr;
    return renderer;
  }
  auto record = std::make_unique<TInitData>();
  record->Renderer = renderer.get();
  record->Mode = mode;
  renderer->SetCreationRecord(record.get());
  Post(std::move(record));
  return renderer;
}

bool T3DEngineGL::InternalCreateRenderer(T3DRendererGL& renderer, const TAdapterMode& mode) {
  std::lock_guard guard(DeviceLock());
  TDrawDevice* device = renderer.Device();
  if (!device || !device->Window()) return false;
  SDL_Window* window = device->Window();
  const bool fullScreen = device->FullScreen();

  // 1. The rectangle to restore afterwards.
  auto* wrapper = device->FindListener<TRectangleWrapper>();
  if (!wrapper) {
    wrapper = new TRectangleWrapper();
    device->AddListener(wrapper);
  }
  const TRect rect = fullScreen ? mode.Monitor : device->Bounds();
  if (fullScreen && !wrapper->Saved) {
    // The window's own placement, taken before it first covers the monitor
    // (a later full-screen renderer on it finds the monitor's rectangle).
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    SDL_GetWindowPosition(window, &x, &y);
    SDL_GetWindowSize(window, &w, &h);
    wrapper->Rect = TRect::FromSize(x, y, w, h);
    wrapper->Bordered = (SDL_GetWindowFlags(window) & SDL_WINDOW_BORDERLESS) == 0;
    wrapper->Saved = true;
  } else if (!fullScreen) {
    wrapper->Rect = rect;
    wrapper->Saved = false;
  }

  // 2. and 3. Desktop composition counts as always on here, so there is no
  // exclusive mode: full screen is a borderless window over the monitor.
  const bool exclusiveAllowed = false;
  if (fullScreen && !exclusiveAllowed) {
    Log().WriteRect("Setwndposlocal ", rect.Left, rect.Top, rect.Right, rect.Bottom);
    SDL_SetWindowBordered(window, SDL_FALSE);
    SDL_SetWindowPosition(window, rect.Left, rect.Top);
    SDL_SetWindowSize(window, rect.Width(), rect.Height());
    SDL_ShowWindow(window);
  }
  const bool exclusive = fullScreen && exclusiveAllowed && !wrapper->NextWindowed;
  wrapper->NextWindowed = false;

  // 5. The device's store and panel; a panel made for another window goes.
  auto* store = device->FindListener<TDevStore>();
  auto* panel = device->FindListener<TWinPanel>();
  if (panel && panel->Window != window) {
    device->RemoveListener(panel);
    delete panel;
    panel = nullptr;
  }
  if (!panel) {
    panel = new TWinPanel();
    panel->Window = window;
    device->AddListener(panel);
  }

  // 6. The drawing area.
  Log().WriteRect("T3DEngine9.InternalCreateRenderer: init windowed device: ", rect.Left, rect.Top, rect.Right,
                  rect.Bottom);
  panel->Rect = fullScreen ? TRect{0, 0, rect.Width(), rect.Height()} : rect;
  panel->Shown = !rect.IsEmpty();

  // 7. The context, unless the store has one for the device already.
  uint8_t category = kResultOk;
  if (!store) {
    bool robust = false;
    SDL_GLContext context = CreateContext(window, robust);
    category = context ? kResultOk : kResultFailed;
    Log().WriteInt("T3DEngine9.InternalCreateRenderer: create device res= ", category);
    if (!context) return false;
    store = new TDevStore(window, context, robust);
    // 4. A windowed renderer with composition on is paced by the display.
    store->SwapInterval = 1;
    device->AddListener(store);
  } else {
    store->SetWindow(window);
    Log().WriteInt("T3DEngine9.InternalCreateRenderer: create device res= ", category);
  }

  // 8. What the renderer needs to know about the adapter.
  renderer.Attach(store, exclusive, fullScreen, mode.RefreshRate, mode);
  if (renderer.OnCreated) renderer.OnCreated();
  return true;
}

}  // namespace zel
