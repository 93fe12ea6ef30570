#include "render/custom_texture.h"

#include <algorithm>
#include <string>

#include "core/log.h"
#include "render/level_reduction.h"

namespace zel {

namespace {

int PowerOfTwoAtLeast(int value, int minimum) {
  int result = minimum;
  while (result < value && result < (1 << 30)) result <<= 1;
  return result;
}

}  // namespace

T3DSize DeviceSizeFor(int width, int height) {
  if (width <= 0 || height <= 0) return {};
  return {PowerOfTwoAtLeast(width, 32), PowerOfTwoAtLeast(height, 32)};
}

TCustomTexture::TCustomTexture(T3DScreen* screen, uint8_t kind) : fScreen(screen), fKind(kind) {
  ZEL_ASSERT(screen != nullptr, "TCustomTexture: Screen=nil");
  ZEL_ASSERT(kind <= kTexKindLast, "Unknown texture kind " + std::to_string(kind));
  fScreen->Register(this);
}

TCustomTexture::~TCustomTexture() {
  // Release is virtual and a descendant is already destroyed here, so the
  // base class frees what it holds itself.
  fLocked.clear();
  if (fScreen && fTexture) fScreen->TextureGone(fTexture.get());
  fTexture.reset();
  if (fScreen) fScreen->Unregister(this);
}

void TCustomTexture::ScreenGone() { fScreen = nullptr; }

void TCustomTexture::SetSize(int width, int height) {
  const T3DSize size{std::max(0, width), std::max(0, height)};
  if (size == fSize) return;
  // New content needs a new upload, and maybe another device size.
  Release();
  fSize = size;
  fDeviceSize = DeviceSizeFor(size.Width, size.Height);
  fScaleX = fDeviceSize.Width ? 1.0 / fDeviceSize.Width : 0.0;
  fScaleY = fDeviceSize.Height ? 1.0 / fDeviceSize.Height : 0.0;
}

void TCustomTexture::SetMipFlags(uint8_t flags) {
  if (flags == fMipFlags) return;
  // A texture made with a chain can draw without it; only asking for what
  // it was not made with needs a new one.
  if ((fAccumulatedMipFlags & flags) != flags) Release();
  fAccumulatedMipFlags |= flags;
  fMipFlags = flags;
}

void TCustomTexture::SetPremultiplied(bool premultiplied) {
  fPremultiplied = premultiplied;
  if (fTexture) fTexture->SetPremultiplied(premultiplied);
}

void TCustomTexture::SetKind(uint8_t kind) {
  ZEL_ASSERT(kind <= kTexKindLast, "Unknown texture kind " + std::to_string(kind));
  Release();
  fKind = kind;
}

void TCustomTexture::Release() {
  fLocked.clear();
  // A render target still on the screen's stack must not be drawn into.
  if (fScreen && fTexture) fScreen->TextureGone(fTexture.get());
  fTexture.reset();
}

void TCustomTexture::PreLoad() {
  if (fTexture) fTexture->PreLoad();
}

T3DTexture* TCustomTexture::GetTexture() {
  if (fTexture || fSize.IsEmpty()) return fTexture.get();
  if (!fScreen || !fScreen->IsReady()) return nullptr;
  T3DRenderer& renderer = *fScreen->Renderer();
  const bool mipmaps = ((fMipFlags | fAccumulatedMipFlags) & kMipChain) != 0;
  fTexture = renderer.CreateTexture(fKind, fDeviceSize.Width, fDeviceSize.Height, mipmaps);
  if (IsRenderTargetKind(fKind)) {
    Log().WriteInt("Rt Create First Attempt Ok= ", fTexture ? 1 : 0);
    if (!fTexture && renderer.LastError() == kResultOutOfVideoMemory) RetryForVideoMemory(renderer, mipmaps);
  }
  if (!fTexture) return nullptr;
  fAccumulatedMipFlags = fMipFlags;
  fTexture->OnLost = [this] { Release(); };
  fTexture->SetPremultiplied(fPremultiplied);
  if (fKind == kTexKindPicture || fKind == kTexKindLuminance || fKind == kTexKindRgb565) Upload();
  return fTexture.get();
}

void TCustomTexture::RetryForVideoMemory(T3DRenderer& renderer, bool mipmaps) {
  std::vector<TCustomTexture*> pictures;
  for (TScreenResource* resource : fScreen->Resources()) {
    auto* texture = dynamic_cast<TCustomTexture*>(resource);
    if (texture && texture != this && (texture->Kind() == kTexKindPicture || texture->Kind() == kTexKindLuminance)) {
      pictures.push_back(texture);
    }
  }
  const int n = static_cast<int>(pictures.size());
  Log().WriteInt("Managed Texs count= ", n);
  // Pass p releases positions (n >> (p - 1)) - 1 down to n >> p: the upper
  // half first, then the next quarter, and so on while positions remain.
  for (int pass = 1; !fTexture && (n >> (pass - 1)) > 0; ++pass) {
    const int first = (n >> (pass - 1)) - 1;
    const int last = n >> pass;
    for (int i = first; i >= last; --i) pictures[static_cast<size_t>(i)]->Release();
    fTexture = renderer.CreateTexture(fKind, fDeviceSize.Width, fDeviceSize.Height, mipmaps);
    Log().Write("Released Managed Texs from " + std::to_string(first) + " to " + std::to_string(last) + "; Rt Create " +
                std::to_string(pass) + "nd Attempt Ok= " + (fTexture ? "1" : "0"));
  }
}

TBitmap* TCustomTexture::LockLevel(int level, const TRect& rect) {
  if (!fTexture || level < 0 || level >= fTexture->LevelCount()) return nullptr;
  const int width = std::max(1, fDeviceSize.Width >> level);
  const int height = std::max(1, fDeviceSize.Height >> level);
  const TRect inside = rect.Intersect({0, 0, width, height});
  if (inside.IsEmpty()) return nullptr;
  const TRect flipped{inside.Left, height - inside.Bottom, inside.Right, height - inside.Top};
  T3DSurface* surface = fTexture->GetSurface(level);
  if (!surface) return nullptr;
  auto bitmap = surface->Lock(flipped, false);
  if (!bitmap) return nullptr;
  TBitmap* result = bitmap.get();
  fLocked.push_back({surface, std::move(bitmap)});
  return result;
}

void TCustomTexture::UnlockLevels() {
  auto locked = std::move(fLocked);
  fLocked.clear();
  for (auto& level : locked) level.Surface->Unlock(std::move(level.Bitmap));
}

void TCustomTexture::Upload() {
  if (!fTexture) return;
  try {
    const int levels = fTexture->LevelCount();
    TBitmap* upper = nullptr;
    for (int i = 0; i < levels; ++i) {
      const int height = std::max(1, fDeviceSize.Height >> i);
      const int columns = std::max(1, fSize.Width >> i);
      const int rows = std::max(1, fSize.Height >> i);
      TBitmap* level = LockLevel(i, {0, height - rows, columns, height});
      if (!level) break;
      if (i == 0) {
        FillLevel(*level);
      } else {
        ReduceLevel(*upper, *level);
      }
      upper = level;
    }
    UnlockLevels();
  } catch (...) {
    // A half-filled device texture must not pass for a complete one: it
    // goes, and the next GetTexture makes and fills it anew.
    Release();
    throw;
  }
}

// ---------------------------------------------------------------------------

TRenderTargetTexture::~TRenderTargetTexture() = default;

void TRenderTargetReturn::operator()(TRenderTargetTexture* texture) const {
  if (!texture) return;
  // A pool that changed its size while the texture was out cannot take it
  // back; disposal must not fail, so the texture is then simply freed.
  TRenderTargetManager* manager = texture->Manager();
  if (manager && manager->PoolSize() == texture->Size()) {
    manager->Return(texture);
  } else {
    if (manager) manager->Forget(texture);
    delete texture;
  }
}

TRenderTargetManager::~TRenderTargetManager() {
  // Textures still out are on their own from now on.
  for (TRenderTargetTexture* texture : fOut) texture->SetManager(nullptr);
}

void TRenderTargetManager::SetSize(int width, int height) {
  const T3DSize size{PowerOfTwoAtLeast(std::max(1, width), 1), PowerOfTwoAtLeast(std::max(1, height), 1)};
  if (size != fSize) fFree.clear();
  fSize = size;
}

TPooledRenderTarget TRenderTargetManager::Acquire(T3DScreen* screen, bool premultiplied) {
  std::unique_ptr<TRenderTargetTexture> texture;
  if (!fFree.empty()) {
    texture = std::move(fFree.back());
    fFree.pop_back();
  } else {
    texture = std::make_unique<TRenderTargetTexture>(screen);
    texture->SetSize(fSize.Width, fSize.Height);
  }
  texture->SetManager(this);
  texture->SetPremultiplied(premultiplied);
  texture->GetTexture();
  fOut.push_back(texture.get());
  return TPooledRenderTarget(texture.release());
}

void TRenderTargetManager::Forget(TRenderTargetTexture* texture) {
  auto it = std::find(fOut.begin(), fOut.end(), texture);
  if (it != fOut.end()) fOut.erase(it);
  texture->SetManager(nullptr);
}

void TRenderTargetManager::Return(TRenderTargetTexture* texture) {
  ZEL_ASSERT(texture->Size() == fSize, "TRenderTargetManager.Return: wrong texture size");
  auto it = std::find(fOut.begin(), fOut.end(), texture);
  if (it != fOut.end()) fOut.erase(it);
  texture->SetManager(nullptr);
  fFree.emplace_back(texture);
}

}  // namespace zel
