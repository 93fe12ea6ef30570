// Pictures of any size drawn from small textures of a few fixed shapes. A
// picture (or the part of it an object shows, or a sprite sheet in its
// gutter view) becomes a TMultiTexture6: tiles that together cover it,
// each repeating one pixel of its neighbours on every side, so that linear
// filtering never reads across a seam. Tiles come from per-shape pools and
// go back there when the picture is released, so device textures are
// recycled between pictures and slides without device allocation; no
// texture is larger than 256 x 256.
//
// Ownership: a free tile belongs to its pool; a tile in use belongs to the
// multi-texture it serves until that gives it back.
#pragma once

#include <memory>
#include <vector>

#include "core/obj.h"
#include "draw/device_drawer.h"
#include "draw/geometry.h"
#include "imaging/bitmap.h"
#include "render/custom_texture.h"

namespace zel {

class TMultiTexture6;
class TTextureManager6;
class TTileManager;
class TVertexBuffer;

class TTextureTile : public TCustomTexture {
 public:
  // The pool is required; the texture has exactly the pool's shape, so its
  // device texture is that power of two and its mip levels halve exactly.
  TTextureTile(TTileManager* pool, int width, int height);
  ~TTextureTile() override;

  // Refills the device texture from the owner's source view, when the
  // loader's pacing hook lets it start; a refusal (EAbort) keeps what the
  // device texture holds, and the tile still needs upload.
  void Upload() override;
  // The source view shifted by the origin, the rest by edge repetition.
  void FillLevel(TBitmap& level) override;
  // Makes and fills the device texture when it is missing or stale, then
  // (once per fill) has the renderer preload it and lets the loader pace.
  void PreLoad() override;
  void Release() override;

  // The texel rectangle between two corner points, placed on the plane.
  virtual void DrawRect(TFloatPoint corner1, TFloatPoint corner2, const T3DVector& position, const TFloatPoint& anchor,
                        const T3DVector& axisX, const T3DVector& axisY);
  // A texel rectangle as two triangles through the screen's batcher, on
  // which Begin was called with this tile (and the owner's partner). Texel
  // (u, v) lands at position + (u - anchor.x) axisX + (v - anchor.y) axisY.
  virtual void DrawQuads(const TFloatRect& rect, const T3DVector& position, const TFloatPoint& anchor,
                         const T3DVector& axisX, const T3DVector& axisY);

  // Back to the pool's free list (the pool takes it), to be filled again
  // on its next use. The pool must still exist.
  void ReturnToPool();

  TTileManager* Pool() const { return fPool; }
  TMultiTexture6* Owner() const { return fOwner; }
  void SetOwner(TMultiTexture6* owner) { fOwner = owner; }
  // The source pixel, in the owner's source view, on texel (0, 0).
  TPoint Origin() const { return fOrigin; }
  void SetOrigin(TPoint origin) { fOrigin = origin; }
  // The texels in use, each side at most the pool's.
  T3DSize ContentSize() const { return fContent; }
  void SetContentSize(T3DSize size) { fContent = size; }
  bool NeedsUpload() const { return fNeedsUpload; }
  void SetNeedsUpload() { fNeedsUpload = true; }
  bool Preloaded() const { return fPreloaded; }
  // How often the level was filled completely.
  int FillCount() const { return fFillCount; }

 private:
  friend class TTileManager;
  friend class TMultiTexture6;
  // Free again: nobody served, and filled anew on the next use.
  void ResetForPool();
  // False when the level's progress notification stopped the filling.
  bool CopyView(TBitmap& level, const TBitmap& view, const TRect& valid);

  TTileManager* fPool;
  TMultiTexture6* fOwner = nullptr;
  TPoint fOrigin;
  T3DSize fContent;
  bool fNeedsUpload = true;
  bool fPreloaded = false;
  int fFillCount = 0;
};

// A pool of tiles of one shape.
class TTileManager : public TObj {
 public:
  // The texture manager is required.
  TTileManager(TTextureManager6* manager, int width, int height);
  ~TTileManager() override;

  TTextureManager6* Manager() const { return fManager; }
  int TileWidth() const { return fWidth; }
  int TileHeight() const { return fHeight; }
  // The most recently returned free tile, or a new one; the caller holds it
  // until it comes back through Return.
  TTextureTile* Acquire();
  void Return(TTextureTile* tile);
  int FreeCount() const { return static_cast<int>(fFree.size()); }

 private:
  TTextureManager6* fManager;
  int fWidth;
  int fHeight;
  std::vector<std::unique_ptr<TTextureTile>> fFree;
};

class TTextureManager6 : public TObj {
 public:
  static constexpr int kPoolCount = 6;
  // The pools' shapes (width, height), in the order ties between them go.
  static constexpr int kPoolShapes[kPoolCount][2] = {{256, 256}, {128, 256}, {64, 256},
                                                     {256, 128}, {256, 64},  {64, 64}};

  // The screen is required.
  explicit TTextureManager6(T3DScreen* screen);
  // Multi-textures still alive are a programming error: it is reported, and
  // they are cut loose (their tiles are destroyed with them, not pooled).
  ~TTextureManager6() override;

  T3DScreen* Screen() const { return fScreen; }
  // The pool for a width and height that include the two overlap pixels:
  // the one covering most of it, then the one wasting least, then the
  // earlier one.
  int ChoosePool(int width, int height) const;
  // A tile of that pool, its content size being what it covers.
  TTextureTile* GetTile(int width, int height);
  int PoolCount() const { return static_cast<int>(fPools.size()); }
  TTileManager& Pool(int index) const { return *fPools[static_cast<size_t>(index)]; }
  int MultiTextureCount() const { return static_cast<int>(fMultiTextures.size()); }

 private:
  friend class TMultiTexture6;
  void Attach(TMultiTexture6* texture);
  void Detach(TMultiTexture6* texture);

  T3DScreen* fScreen;
  std::vector<std::unique_ptr<TTileManager>> fPools;
  std::vector<TMultiTexture6*> fMultiTextures;
};

class TMultiTexture6 : public TObj {
 public:
  explicit TMultiTexture6(TTextureManager6& manager);
  // The tiles go back to their pools.
  ~TMultiTexture6() override;
  TMultiTexture6(const TMultiTexture6&) = delete;
  TMultiTexture6& operator=(const TMultiTexture6&) = delete;

  // A crop view of the rectangle for a 1 x 1 grid, else the gutter view of
  // the whole bitmap. The bitmap must exist and stay while the view does;
  // the rectangle must not be empty and must lie inside it.
  void SetSource(TBitmap* source, int level, bool premultiplied, int columns, int rows, const TRect& rect);
  // A texture drawn together with the picture (masks): its coordinates are
  // where each corner is seen, minus the offset; the rectangle (screen
  // pixels) bounds them at soft edges. None clears it.
  void SetPartner(TCustomTexture* texture, TFloatPoint offset, const TRect& rect);
  // Cuts the source view into tiles, by bands from the top, each band from
  // the left; nothing when tiles exist.
  void BuildTiles();
  // Builds the tiles if needed, passes the draw state to them, and refills
  // those whose device texture holds stale content.
  void Upload();
  // As Upload, through each tile's PreLoad: missing device textures are
  // made and filled now. The loader's stop (EAbort) goes up to the caller.
  void PreLoad();
  // The source rectangle (source-view pixels) on the plane: source pixel
  // (u, v) lands at position + (u - anchor.x) axisX + (v - anchor.y) axisY.
  void Draw(const T3DVector& position, const TFloatPoint& anchor, const TFloatRect& source, const T3DVector& axisX,
            const T3DVector& axisY);
  void DrawAll(const T3DVector& position, const TFloatPoint& anchor, const T3DVector& axisX, const T3DVector& axisY);
  // Every tile back to its pool; they are built again on the next use.
  void ReleaseTiles();

  TBitmap* SourceView() const { return fView.get(); }
  const std::vector<TTextureTile*>& Tiles() const { return fTiles; }
  int Level() const { return fLevel; }
  bool Premultiplied() const { return fPremultiplied; }
  // The picture is an alpha mask without colour: its texels are white at
  // the picture's alpha, so that it masks, tints and blends like the alpha
  // of a colour picture.
  bool AlphaOnly() const { return fAlphaOnly; }
  void SetAlphaOnly(bool alphaOnly) { fAlphaOnly = alphaOnly; }
  const TRect& SourceRect() const { return fSourceRect; }
  TCustomTexture* Partner() const { return fPartner; }
  TFloatPoint PartnerOffset() const { return fPartnerOffset; }
  const TRect& PartnerRect() const { return fPartnerRect; }
  // None once the manager went first.
  TTextureManager6* Manager() const { return fManager; }
  // The tiles' vertex colour: the tint (when set) or white, the opacity as alpha.
  TColor TileColor() const;
  // The partner's coordinates of a point in pixel space.
  TFloatPoint PartnerCoord(const T3DVector& point) const;

  // Draw state, set by the drawer before each draw.
  uint8_t Opacity = 255;
  bool Nearest = false;
  uint8_t MipFlags = 0;
  float LodBias = 0;
  bool Antialiased = false;
  bool Tint = false;
  TRgbQuadColor TintColor;

 private:
  friend class TTextureManager6;
  void ManagerGone();
  void PassState(TTextureTile& tile) const;
  void DrawTile(TTextureTile& tile, TVertexBuffer& batcher, const T3DVector& position, const TFloatPoint& anchor,
                const TFloatRect& source, const T3DVector& axisX, const T3DVector& axisY);
  void DrawTileSoft(TTextureTile& tile, TVertexBuffer& batcher, const TFloatRect& rect, const bool (&edges)[4],
                    const T3DVector& position, const TFloatPoint& anchor, const T3DVector& axisX,
                    const T3DVector& axisY);

  TTextureManager6* fManager;
  std::vector<TTextureTile*> fTiles;
  int fLevel = 0;
  bool fAlphaOnly = false;
  bool fPremultiplied = false;
  TRect fSourceRect;
  std::unique_ptr<TBitmap> fView;
  TCustomTexture* fPartner = nullptr;
  TFloatPoint fPartnerOffset;
  TRect fPartnerRect;
};

}  // namespace zel
