// Textures and surfaces on GL. A texture's rows are stored top row first,
// so texture coordinate v = y / height reaches content row y; render
// targets are drawn with y turned over to keep that order (see the target
// fix-up of the vertex stage). Render-target textures carry a framebuffer
// object. Surfaces are the levels of a texture, or the back buffer.
#pragma once

#include <epoxy/gl.h>

#include <memory>
#include <vector>

#include "render/device_3d.h"
#include "render/gl/dev_store.h"

namespace zel {

class T3DRendererGL;

// How a texture kind lies in GL and in bitmaps.
struct TGLTextureFormat {
  GLint Internal;
  GLenum Format;
  GLenum Type;
  int BytesPerPixel;
  TCommonPixelFormat* PixelFormat;
};
const TGLTextureFormat& GLFormatOfKind(uint8_t kind);

class T3DTextureGL final : public T3DTexture, public TGLStoreObject {
 public:
  // Makes the GL texture (and the framebuffer of a render target); on
  // failure Name() is 0 and result tells why.
  T3DTextureGL(TDevStore* store, uint8_t kind, int width, int height, int levels, struct TGLResult& result);
  ~T3DTextureGL() override;

  T3DSurface* GetSurface(int level) override;
  int LevelCount() override { return fLevels; }
  void PreLoad() override;
  void StoreGone() override;
  T3DDeviceObject& DeviceObject() override { return *this; }

  GLuint Name() const { return fName; }
  GLuint Framebuffer() const { return fFramebuffer; }
  int Width() const { return fWidth; }
  int Height() const { return fHeight; }
  T3DSize LevelSize(int level) const;
  size_t Bytes() const { return fBytes; }
  // Sends the addressing and filtering state when it changed; the texture
  // must be bound on the active unit.
  void ApplySampler(TGLState& state, int unit, bool anisotropy, int maxAnisotropy, bool lodBias);
  // Whether a level has had content sent to it (a lock must then read it back).
  bool LevelWritten(int level) const { return fWritten[static_cast<size_t>(level)]; }
  void SetLevelWritten(int level) { fWritten[static_cast<size_t>(level)] = true; }

 private:
  GLuint fName = 0;
  GLuint fFramebuffer = 0;
  int fWidth;
  int fHeight;
  int fLevels;
  size_t fBytes = 0;
  bool fReserved = false;
  std::vector<bool> fWritten;
  std::vector<std::unique_ptr<T3DSurface>> fSurfaces;
  uint64_t fAppliedSampler = ~uint64_t{0};
};

// The surfaces of a texture's levels, and the back buffer.
class T3DSurfaceGL : public T3DSurface {
 public:
  // A level of a texture.
  T3DSurfaceGL(T3DTextureGL* texture, int level);
  ~T3DSurfaceGL() override;

  bool CopyToBitmap(TBitmap& target) override;
  T3DSize GetSize() override;
  TCommonPixelFormat* GetPixelFormat() override;
  std::unique_ptr<TBitmap> Lock(const TRect& rect, bool readOnly) override;
  bool Unlock(std::unique_ptr<TBitmap> bitmap) override;
  bool IsDeviceSurface() const override { return false; }

  T3DTextureGL* Texture() const { return fTexture; }
  int Level() const { return fLevel; }
  // The texture went away (its surfaces cannot be used any longer).
  void TextureGone() { fTexture = nullptr; }

 protected:
  T3DSurfaceGL() = default;
  // The store to work in, made current; none when the device is gone.
  virtual TDevStore* EnterStore();
  // Reads the rectangle (in the surface's own top-down pixels) into rows of
  // the given pitch.
  virtual bool ReadRect(const TRect& rect, uint8_t* pixels, size_t pitch);
  virtual bool WriteRect(const TRect& rect, const uint8_t* pixels, size_t pitch);
  virtual bool Written() const;
  virtual bool CanWrite() const { return true; }
  const TGLTextureFormat& Format() const;

  T3DTextureGL* fTexture = nullptr;
  int fLevel = 0;

 private:
  struct TLock {
    TBitmap* Bitmap;
    TRect Rect;
    bool ReadOnly;
  };
  std::vector<TLock> fLocks;
};

// A render target: level 0 of a render-target texture, or the back buffer
// of a renderer (the renderer's drawing area of the window).
class T3DSurfaceRT final : public T3DSurfaceGL {
 public:
  T3DSurfaceRT(T3DTextureGL* texture);
  explicit T3DSurfaceRT(T3DRendererGL* renderer);

  T3DSize GetSize() override;
  TCommonPixelFormat* GetPixelFormat() override;
  bool IsDeviceSurface() const override { return true; }

  bool IsBackBuffer() const { return fRenderer != nullptr; }
  T3DRendererGL* Renderer() const { return fRenderer; }
  GLuint Framebuffer() const;
  // A rectangle of this target (top-down pixels) in GL's framebuffer
  // coordinates: x0, y0, x1, y1, with y0 > y1 when GL's rows run the other way.
  void ToFramebufferRect(const TRect& rect, GLint out[4]) const;

 protected:
  TDevStore* EnterStore() override;
  bool ReadRect(const TRect& rect, uint8_t* pixels, size_t pitch) override;
  bool WriteRect(const TRect& rect, const uint8_t* pixels, size_t pitch) override;
  bool Written() const override { return true; }
  bool CanWrite() const override { return fTexture != nullptr; }

 private:
  T3DRendererGL* fRenderer = nullptr;
};

}  // namespace zel
