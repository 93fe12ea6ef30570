// Textures as the system draws with them. Each keeps its content on the
// system side (a descendant writes it in FillLevel) and makes its device
// texture on demand, so a lost device or a texture released for memory
// costs only an upload. Device sizes are powers of two of at least 32, so
// every driver accepts them and mip levels halve exactly.
#pragma once

#include <memory>
#include <vector>

#include "core/obj.h"
#include "imaging/bitmap.h"
#include "render/device_3d.h"
#include "render/screen.h"

namespace zel {

class TRenderTargetManager;

// Mip flags: bit 0 asks for a mip chain.
constexpr uint8_t kMipChain = 1;

// The device size of a content size: per dimension the smallest power of
// two not below it, at least 32; none for an empty content.
T3DSize DeviceSizeFor(int width, int height);

class TCustomTexture : public TObj, public TScreenResource {
 public:
  // The screen must be given (a programming error otherwise).
  explicit TCustomTexture(T3DScreen* screen, uint8_t kind = kTexKindPicture);
  ~TCustomTexture() override;

  // The device texture, made (and filled) on demand; none while the screen
  // is not ready or the device refuses it.
  virtual T3DTexture* GetTexture();
  virtual void SetSize(int width, int height);
  // Writes the content into the base level's bitmap (content-sized, the
  // device texture's format).
  virtual void FillLevel(TBitmap& level) = 0;
  // Fills every level of the device texture: level 0 by FillLevel, each
  // further one reduced from the level above.
  virtual void Upload();
  // Frees the device texture and the locked level bitmaps.
  virtual void Release();
  virtual void PreLoad();

  void SetMipFlags(uint8_t flags);
  void SetPremultiplied(bool premultiplied);
  void SetKind(uint8_t kind);
  void SetNearest(bool nearest) { fNearest = nearest; }
  void SetOpacity(uint8_t opacity) { fOpacity = opacity; }
  void SetLodBias(float bias) { fLodBias = bias; }

  // Locks a rectangle of a level. Rows of the rectangle count from the
  // bottom of the level: the one that ends at the level's height is device
  // row 0 on, which is where content row 0 lies. The bitmap stays the
  // texture's until UnlockLevels; none when the rectangle misses the level.
  TBitmap* LockLevel(int level, const TRect& rect);
  // Sends what was written and frees the bitmaps.
  void UnlockLevels();

  T3DScreen* Screen() const { return fScreen; }
  T3DTexture* DeviceTexture() const { return fTexture.get(); }
  uint8_t Kind() const { return fKind; }
  T3DSize Size() const { return fSize; }
  T3DSize DeviceSize() const { return fDeviceSize; }
  double ScaleX() const { return fScaleX; }
  double ScaleY() const { return fScaleY; }
  uint8_t MipFlags() const { return fMipFlags; }
  bool Premultiplied() const { return fPremultiplied; }
  bool Nearest() const { return fNearest; }
  uint8_t Opacity() const { return fOpacity; }
  float LodBias() const { return fLodBias; }

  void ReleaseDevice() override { Release(); }
  void ScreenGone() override;

 protected:
  T3DScreen* fScreen;
  std::unique_ptr<T3DTexture> fTexture;
  uint8_t fKind;

 private:
  struct TLockedLevel {
    T3DSurface* Surface;
    std::unique_ptr<TBitmap> Bitmap;
  };
  // The screen's picture textures are released by halves until a render
  // target fits in video memory.
  void RetryForVideoMemory(T3DRenderer& renderer, bool mipmaps);

  std::vector<TLockedLevel> fLocked;
  T3DSize fSize;
  T3DSize fDeviceSize;
  double fScaleX = 0.0;
  double fScaleY = 0.0;
  uint8_t fMipFlags = 0;
  uint8_t fAccumulatedMipFlags = 0;
  float fLodBias = 0.0f;
  bool fPremultiplied = false;
  bool fNearest = false;
  uint8_t fOpacity = 255;
};

// A render target (kind 2): nothing to fill or upload; drawing writes it.
class TRenderTargetTexture : public TCustomTexture {
 public:
  explicit TRenderTargetTexture(T3DScreen* screen) : TCustomTexture(screen, kTexKindTarget) {}
  ~TRenderTargetTexture() override;
  void FillLevel(TBitmap&) override {}
  void Upload() override {}

  TRenderTargetManager* Manager() const { return fManager; }
  void SetManager(TRenderTargetManager* manager) { fManager = manager; }

 private:
  TRenderTargetManager* fManager = nullptr;
};

// Gives a pooled render target back to its pool instead of destroying it.
struct TRenderTargetReturn {
  void operator()(TRenderTargetTexture* texture) const;
};
using TPooledRenderTarget = std::unique_ptr<TRenderTargetTexture, TRenderTargetReturn>;

// A pool of render targets of one size, so that transitions and effects do
// not allocate device memory every frame.
class TRenderTargetManager : public TObj {
 public:
  ~TRenderTargetManager() override;
  // Rounded up to powers of two; a new size frees the free textures.
  void SetSize(int width, int height);
  T3DSize PoolSize() const { return fSize; }
  // The most recently returned free texture, or a new one of the pool size;
  // its device texture is made.
  TPooledRenderTarget Acquire(T3DScreen* screen, bool premultiplied);
  // Its size must be the pool's (a programming error otherwise).
  void Return(TRenderTargetTexture* texture);
  // A texture that leaves the pool for good.
  void Forget(TRenderTargetTexture* texture);
  int FreeCount() const { return static_cast<int>(fFree.size()); }

 private:
  std::vector<std::unique_ptr<TRenderTargetTexture>> fFree;
  std::vector<TRenderTargetTexture*> fOut;
  T3DSize fSize;
};

}  // namespace zel
