#include "render/gl/texture_gl.h"

#include <algorithm>
#include <cstring>

#include "core/log.h"
#include "imaging/pixel_format.h"
#include "render/gl/gl_results.h"
#include "render/gl/renderer_gl.h"

namespace zel {

const TGLTextureFormat& GLFormatOfKind(uint8_t kind) {
  static const TGLTextureFormat kFormats[] = {
      {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4, FormatA8R8G8B8()},
      {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4, FormatA8R8G8B8()},
      {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4, FormatA8R8G8B8()},
      {GL_R8, GL_RED, GL_UNSIGNED_BYTE, 1, FormatY8()},
      // Red in the high five bits, as the 16-bit device textures have it.
      {GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 2, FormatB5G6R5()},
  };
  ZEL_ASSERT(kind <= kTexKindLast, "Unknown texture kind " + std::to_string(kind));
  return kFormats[kind];
}

namespace {

// Holds the memory a locked bitmap's rows point into.
class TLockBuffer : public TObj {
 public:
  explicit TLockBuffer(size_t size) : Bytes(size) {}
  std::vector<uint8_t> Bytes;
};

GLint AddressOf(uint8_t mode) {
  switch (mode) {
    case kAddressClamp: return GL_CLAMP_TO_EDGE;
    case kAddressMirror: return GL_MIRRORED_REPEAT;
    default: return GL_REPEAT;
  }
}

}  // namespace

T3DTextureGL::T3DTextureGL(TDevStore* store, uint8_t kind, int width, int height, int levels, TGLResult& result)
    : T3DTexture(kind), TGLStoreObject(store), fWidth(width), fHeight(height), fLevels(std::max(1, levels)) {
  const TGLTextureFormat& format = GLFormatOfKind(kind);
  for (int level = 0; level < fLevels; ++level) {
    const T3DSize size = LevelSize(level);
    fBytes += static_cast<size_t>(size.Width) * static_cast<size_t>(size.Height) * static_cast<size_t>(format.BytesPerPixel);
  }
  result = {};
  if (!fStore->Reserve(fBytes)) {
    result.Category = kResultOutOfVideoMemory;
    return;
  }
  fReserved = true;
  fWritten.assign(static_cast<size_t>(fLevels), false);
  TGLState& state = fStore->State();
  TakeGLResult();  // what earlier calls left is not this texture's
  glGenTextures(1, &fName);
  state.BindForEdit(fName);
  for (int level = 0; level < fLevels; ++level) {
    const T3DSize size = LevelSize(level);
    glTexImage2D(GL_TEXTURE_2D, level, format.Internal, size.Width, size.Height, 0, format.Format, format.Type, nullptr);
  }
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, fLevels - 1);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  if (kind == kTexKindLuminance) {
    // Luminance is sampled as grey and opaque.
    const GLint swizzle[4] = {GL_RED, GL_RED, GL_RED, GL_ONE};
    glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, swizzle);
  } else if (kind == kTexKindTargetNoAlpha) {
    // A target without alpha reads as opaque, whatever was blended into it.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
  }
  result = TakeGLResult();
  if (result.Category == kResultOk && IsRenderTargetKind(kind)) {
    glGenFramebuffers(1, &fFramebuffer);
    const GLuint previous = state.Framebuffer();
    state.BindFramebuffer(fFramebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, fName, 0);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    state.BindFramebuffer(previous);
    result = TakeGLResult();
    if (result.Category == kResultOk && status != GL_FRAMEBUFFER_COMPLETE) result.Category = kResultFailed;
  }
  if (result.Category != kResultOk) {
    fStore->Delete(TGLName::Framebuffer, fFramebuffer);
    fStore->Delete(TGLName::Texture, fName);
    fFramebuffer = 0;
    fName = 0;
    fStore->Unreserve(fBytes);
    fReserved = false;
  }
}

T3DTextureGL::~T3DTextureGL() {
  // The store's lists and its garbage are shared with the drawing thread.
  std::lock_guard guard(DeviceLock());
  // A renderer drawing into this texture looks at its target surface, so it
  // hears of it before the surfaces go.
  if (fStore) {
    for (T3DRendererGL* renderer : fStore->Renderers()) renderer->TextureGone(this);
  }
  for (auto& surface : fSurfaces) {
    if (auto* gl = dynamic_cast<T3DSurfaceGL*>(surface.get())) gl->TextureGone();
  }
  fSurfaces.clear();
  if (fStore) {
    if (fReserved) fStore->Unreserve(fBytes);
    fStore->Delete(TGLName::Framebuffer, fFramebuffer);
    fStore->Delete(TGLName::Texture, fName);
  }
}

void T3DTextureGL::StoreGone() {
  TGLStoreObject::StoreGone();
  fName = 0;
  fFramebuffer = 0;
  fReserved = false;
}

T3DSize T3DTextureGL::LevelSize(int level) const {
  return {std::max(1, fWidth >> level), std::max(1, fHeight >> level)};
}

T3DSurface* T3DTextureGL::GetSurface(int level) {
  if (level < 0 || level >= fLevels) return nullptr;
  if (fSurfaces.empty()) fSurfaces.resize(static_cast<size_t>(fLevels));
  auto& slot = fSurfaces[static_cast<size_t>(level)];
  if (!slot) {
    if (IsRenderTargetKind(fKind) && level == 0) {
      slot = std::make_unique<T3DSurfaceRT>(this);
    } else {
      slot = std::make_unique<T3DSurfaceGL>(this, level);
    }
  }
  return slot.get();
}

void T3DTextureGL::PreLoad() {
  // GL keeps no system-memory pool to upload from: content reaches the
  // device when a lock is released, so there is nothing left to do here.
}

void T3DTextureGL::ApplySampler(TGLState& state, int unit, bool anisotropy, int maxAnisotropy, bool lodBias) {
  const bool mip = anisotropy && fMipmapped && fFilter == kFilterLinear && fLevels > 1;
  uint32_t biasBits = 0;
  if (mip && lodBias) std::memcpy(&biasBits, &fLodBias, sizeof(biasBits));
  const uint64_t key = static_cast<uint64_t>(fAddressU) | (static_cast<uint64_t>(fAddressV) << 2) |
                       (static_cast<uint64_t>(fFilter) << 4) | (static_cast<uint64_t>(mip) << 5) |
                       (static_cast<uint64_t>(mip ? maxAnisotropy & 0xFF : 1) << 8) |
                       (static_cast<uint64_t>(biasBits) << 32);
  if (key == fAppliedSampler) return;
  fAppliedSampler = key;
  state.SelectUnit(unit);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, AddressOf(fAddressU));
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, AddressOf(fAddressV));
  const GLint plain = fFilter == kFilterNearest ? GL_NEAREST : GL_LINEAR;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, plain);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mip ? GL_LINEAR_MIPMAP_LINEAR : plain);
  if (anisotropy) {
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY, mip ? static_cast<float>(maxAnisotropy) : 1.0f);
  }
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_LOD_BIAS, mip && lodBias ? fLodBias : 0.0f);
}

// ---------------------------------------------------------------------------

T3DSurfaceGL::T3DSurfaceGL(T3DTextureGL* texture, int level) : fTexture(texture), fLevel(level) {}

T3DSurfaceGL::~T3DSurfaceGL() = default;

const TGLTextureFormat& T3DSurfaceGL::Format() const {
  return GLFormatOfKind(fTexture ? fTexture->Kind() : kTexKindPicture);
}

T3DSize T3DSurfaceGL::GetSize() { return fTexture ? fTexture->LevelSize(fLevel) : T3DSize{}; }

TCommonPixelFormat* T3DSurfaceGL::GetPixelFormat() { return Format().PixelFormat; }

TDevStore* T3DSurfaceGL::EnterStore() {
  if (!fTexture || !fTexture->Store() || !fTexture->Name()) return nullptr;
  TDevStore* store = fTexture->Store();
  return store->MakeCurrent() ? store : nullptr;
}

bool T3DSurfaceGL::Written() const { return fTexture && fTexture->LevelWritten(fLevel); }

bool T3DSurfaceGL::ReadRect(const TRect& rect, uint8_t* pixels, size_t pitch) {
  const TGLTextureFormat& format = Format();
  TGLState& state = fTexture->Store()->State();
  // Only the rectangle is read: the level is attached to a framebuffer made
  // for the read (GL 3.3 has no read of part of a texture otherwise).
  GLuint framebuffer = 0;
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, fTexture->Name(), fLevel);
  const bool readable = glCheckFramebufferStatus(GL_READ_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  if (readable) {
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glPixelStorei(GL_PACK_ROW_LENGTH, static_cast<GLint>(pitch / static_cast<size_t>(format.BytesPerPixel)));
    glReadPixels(rect.Left, rect.Top, rect.Width(), rect.Height(), format.Format, format.Type, pixels);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  }
  glBindFramebuffer(GL_READ_FRAMEBUFFER, state.Framebuffer());
  glDeleteFramebuffers(1, &framebuffer);
  if (readable) return TakeGLResult().Category == kResultOk;
  TakeGLResult();
  // A format the driver cannot attach (5-6-5 need not be renderable on
  // GL 3.3): the whole level is read and the rectangle copied out of it.
  const T3DSize size = GetSize();
  const size_t levelPitch = static_cast<size_t>(size.Width) * static_cast<size_t>(format.BytesPerPixel);
  std::vector<uint8_t> level(levelPitch * static_cast<size_t>(size.Height));
  state.BindForEdit(fTexture->Name());
  glGetTexImage(GL_TEXTURE_2D, fLevel, format.Format, format.Type, level.data());
  if (TakeGLResult().Category != kResultOk) return false;
  const size_t rowBytes = static_cast<size_t>(rect.Width()) * static_cast<size_t>(format.BytesPerPixel);
  for (int y = rect.Top; y < rect.Bottom; ++y) {
    std::memcpy(pixels + static_cast<size_t>(y - rect.Top) * pitch,
                level.data() + static_cast<size_t>(y) * levelPitch +
                    static_cast<size_t>(rect.Left) * static_cast<size_t>(format.BytesPerPixel),
                rowBytes);
  }
  return true;
}

bool T3DSurfaceGL::WriteRect(const TRect& rect, const uint8_t* pixels, size_t pitch) {
  if (!fTexture) return false;
  const TGLTextureFormat& format = Format();
  TGLState& state = fTexture->Store()->State();
  state.BindForEdit(fTexture->Name());
  glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(pitch / static_cast<size_t>(format.BytesPerPixel)));
  glTexSubImage2D(GL_TEXTURE_2D, fLevel, rect.Left, rect.Top, rect.Width(), rect.Height(), format.Format, format.Type,
                  pixels);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  if (TakeGLResult().Category != kResultOk) return false;
  fTexture->SetLevelWritten(fLevel);
  return true;
}

std::unique_ptr<TBitmap> T3DSurfaceGL::Lock(const TRect& rect, bool readOnly) {
  std::lock_guard guard(DeviceLock());
  if (!readOnly && !CanWrite()) return nullptr;
  if (!EnterStore()) return nullptr;
  const T3DSize size = GetSize();
  const TRect locked = rect.Intersect({0, 0, size.Width, size.Height});
  if (locked.IsEmpty()) return nullptr;
  TCommonPixelFormat* format = GetPixelFormat();
  const size_t pitch = static_cast<size_t>(locked.Width()) * static_cast<size_t>(format->BytesPerPixel());
  auto buffer = std::make_unique<TLockBuffer>(pitch * static_cast<size_t>(locked.Height()));
  // A writable lock shows what is there too, as a lock of device memory
  // would; a level nothing was sent to yet starts out zero.
  if ((readOnly || Written()) && !ReadRect(locked, buffer->Bytes.data(), pitch)) return nullptr;
  std::vector<uint8_t*> rows(static_cast<size_t>(locked.Height()));
  for (size_t y = 0; y < rows.size(); ++y) rows[y] = buffer->Bytes.data() + y * pitch;
  auto bitmap = std::make_unique<TRefBitmap>(locked.Width(), locked.Height(), format, std::move(rows), std::move(buffer));
  fLocks.push_back({bitmap.get(), locked, readOnly});
  return bitmap;
}

bool T3DSurfaceGL::Unlock(std::unique_ptr<TBitmap> bitmap) {
  std::lock_guard guard(DeviceLock());
  auto it = std::find_if(fLocks.begin(), fLocks.end(), [&](const TLock& lock) { return lock.Bitmap == bitmap.get(); });
  if (it == fLocks.end()) return false;
  const TLock lock = *it;
  fLocks.erase(it);
  if (lock.ReadOnly) return true;
  if (!EnterStore()) return false;
  const size_t pitch = static_cast<size_t>(lock.Rect.Width()) * static_cast<size_t>(bitmap->Format()->BytesPerPixel());
  return WriteRect(lock.Rect, bitmap->ScanLine(0), pitch);
}

bool T3DSurfaceGL::CopyToBitmap(TBitmap& target) {
  const T3DSize size = GetSize();
  auto bitmap = Lock({0, 0, size.Width, size.Height}, true);
  if (!bitmap) return false;
  target.Draw(bitmap->BoundsRect(), *bitmap, false, {0, 0});
  return Unlock(std::move(bitmap));
}

// ---------------------------------------------------------------------------

T3DSurfaceRT::T3DSurfaceRT(T3DTextureGL* texture) : T3DSurfaceGL(texture, 0) {}

T3DSurfaceRT::T3DSurfaceRT(T3DRendererGL* renderer) : fRenderer(renderer) {}

T3DSize T3DSurfaceRT::GetSize() {
  if (fRenderer) {
    const TRect panel = fRenderer->PanelRect();
    return {panel.Width(), panel.Height()};
  }
  return T3DSurfaceGL::GetSize();
}

TCommonPixelFormat* T3DSurfaceRT::GetPixelFormat() { return FormatA8R8G8B8(); }

GLuint T3DSurfaceRT::Framebuffer() const { return fTexture ? fTexture->Framebuffer() : 0; }

TDevStore* T3DSurfaceRT::EnterStore() {
  if (!fRenderer) return T3DSurfaceGL::EnterStore();
  TDevStore* store = fRenderer->Store();
  return store && store->MakeCurrent() ? store : nullptr;
}

void T3DSurfaceRT::ToFramebufferRect(const TRect& rect, GLint out[4]) const {
  if (fRenderer) {
    const TRect panel = fRenderer->PanelRect();
    const int height = fRenderer->DrawableHeight();
    out[0] = panel.Left + rect.Left;
    out[1] = height - (panel.Top + rect.Top);
    out[2] = panel.Left + rect.Right;
    out[3] = height - (panel.Top + rect.Bottom);
  } else {
    out[0] = rect.Left;
    out[1] = rect.Top;
    out[2] = rect.Right;
    out[3] = rect.Bottom;
  }
}

bool T3DSurfaceRT::ReadRect(const TRect& rect, uint8_t* pixels, size_t pitch) {
  TDevStore* store = fRenderer ? fRenderer->Store() : fTexture->Store();
  GLint gl[4];
  ToFramebufferRect(rect, gl);
  const GLint y = std::min(gl[1], gl[3]);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, Framebuffer());
  glPixelStorei(GL_PACK_ROW_LENGTH, static_cast<GLint>(pitch / 4));
  glReadPixels(gl[0], y, rect.Width(), rect.Height(), GL_BGRA, GL_UNSIGNED_BYTE, pixels);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, store->State().Framebuffer());
  if (TakeGLResult().Category != kResultOk) return false;
  if (gl[1] > gl[3]) {
    // The window's rows run bottom up.
    std::vector<uint8_t> row(pitch);
    for (int top = 0, bottom = rect.Height() - 1; top < bottom; ++top, --bottom) {
      uint8_t* a = pixels + static_cast<size_t>(top) * pitch;
      uint8_t* b = pixels + static_cast<size_t>(bottom) * pitch;
      std::memcpy(row.data(), a, pitch);
      std::memcpy(a, b, pitch);
      std::memcpy(b, row.data(), pitch);
    }
  }
  return true;
}

bool T3DSurfaceRT::WriteRect(const TRect& rect, const uint8_t* pixels, size_t pitch) {
  return fTexture && T3DSurfaceGL::WriteRect(rect, pixels, pitch);
}

}  // namespace zel
