#include "render/tiled_texture.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/clock.h"
#include "core/exceptions.h"
#include "core/loader_callback.h"
#include "core/log.h"
#include "imaging/pixel_converter.h"
#include "imaging/pixel_format.h"
#include "render/screen.h"
#include "render/soft_edges.h"
#include "render/tile_bitmap.h"
#include "render/vertex_buffer.h"

namespace zel {

namespace {

T3DVector OnPlane(const T3DVector& position, const TFloatPoint& anchor, const T3DVector& axisX, const T3DVector& axisY,
                  float u, float v) {
  return position + axisX * (u - anchor.x) + axisY * (v - anchor.y);
}

TScreenPoint ToScreenPoint(const T3DVector& v) {
  return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

T3DScreen* ScreenOf(TTileManager* pool) {
  ZEL_ASSERT(pool != nullptr, "TTextureTile.Create - Pool not Assigned");
  return pool->Manager()->Screen();
}

// Edge filling works on whole 32-bit texels.
void Check32Bit(const TBitmap& level) {
  ZEL_ASSERT(level.Format()->BytesPerPixel() == 4, level.ClassName() + " - Edge Filling needs a 32 bit Bitmap");
}

// Texels left and right of the valid columns repeat the nearest valid one.
void RepeatRowEnds(uint32_t* row, int width, int left, int right) {
  std::fill(row, row + left, row[left]);
  std::fill(row + right, row + width, row[right - 1]);
}

// Rows above and below the valid ones repeat the nearest valid row whole.
void RepeatOuterRows(TBitmap& level, int top, int bottom) {
  Check32Bit(level);
  const size_t bytes = static_cast<size_t>(level.Width()) * 4;
  for (int y = 0; y < top; ++y) std::memcpy(level.ScanLine(y), level.ScanLine(top), bytes);
  for (int y = bottom; y < level.Height(); ++y) std::memcpy(level.ScanLine(y), level.ScanLine(bottom - 1), bytes);
}

}  // namespace

// ---------------------------------------------------------------------------
// TTextureTile

TTextureTile::TTextureTile(TTileManager* pool, int width, int height)
    : TCustomTexture(ScreenOf(pool), kTexKindPicture), fPool(pool) {
  SetSize(width, height);
}

TTextureTile::~TTextureTile() = default;

void TTextureTile::ResetForPool() {
  fOwner = nullptr;
  fNeedsUpload = true;
  fPreloaded = false;
}

void TTextureTile::ReturnToPool() {
  ZEL_ASSERT(fPool != nullptr, "TTextureTile.ReturnToPool - Pool not Assigned");
  fPool->Return(this);
}

void TTextureTile::Release() {
  fNeedsUpload = true;
  fPreloaded = false;
  TCustomTexture::Release();
}

void TTextureTile::Upload() {
  if (!DeviceTexture()) return;
  // The loader's pacing hook is asked before any level is locked: a
  // refusal then leaves the device texture exactly as it was, where a
  // refusal half way would leave a half-written one.
  try {
    CallLoaderCallback();
  } catch (const EAbort&) {
    return;
  }
  TCustomTexture::Upload();
}

namespace {

void WhitenRow(uint32_t* row, int count) {
  for (int i = 0; i < count; ++i) row[i] |= 0x00FFFFFFu;
}

}  // namespace

void TTextureTile::FillLevel(TBitmap& level) {
  Check32Bit(level);
  const TBitmap* view = fOwner ? fOwner->SourceView() : nullptr;
  if (!view) return;
  // The texels that show a source pixel; the tile reaches past the view
  // only at the picture's borders.
  const TRect valid = level.BoundsRect().Intersect(
      {-fOrigin.X, -fOrigin.Y, view->Width() - fOrigin.X, view->Height() - fOrigin.Y});
  if (valid.IsEmpty()) return;
  // Stopped by the progress notification: the tile still needs upload, so
  // the next draw fills it again.
  if (!CopyView(level, *view, valid)) return;
  RepeatOuterRows(level, valid.Top, valid.Bottom);
  ++fFillCount;
  fNeedsUpload = false;
  fPreloaded = false;
}

bool TTextureTile::CopyView(TBitmap& level, const TBitmap& view, const TRect& valid) {
  const int n = valid.Width();
  const bool sameFormat = view.Format() == level.Format();
  const TConvertOperator* converter = sameFormat ? nullptr : GetConverter(view.Format(), level.Format());
  std::vector<uint8_t> buffer(sameFormat ? 0 : static_cast<size_t>(n) * view.Format()->BytesPerPixel());
  const bool premultiply = Premultiplied() && level.Format() == FormatA8R8G8B8();
  const bool alphaOnly = fOwner && fOwner->AlphaOnly() && level.Format() == FormatA8R8G8B8();
  const float rows = static_cast<float>(valid.Height());
  for (int y = valid.Top; y < valid.Bottom; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(level.ScanLine(y));
    auto* to = reinterpret_cast<uint8_t*>(row + valid.Left);
    const int sx = fOrigin.X + valid.Left, sy = fOrigin.Y + y;
    if (converter) {
      view.GetPixels(sx, sy, buffer, 0, n);
      converter->ConvertRun(to, buffer.data(), n);
    } else {
      view.GetPixels(sx, sy, std::span<uint8_t>(to, static_cast<size_t>(n) * 4), 0, n);
    }
    if (alphaOnly) WhitenRow(row + valid.Left, n);
    if (premultiply) PremultiplyRow(to, n);
    RepeatRowEnds(row, level.Width(), valid.Left, valid.Right);
    if (!level.NotifyProgress(static_cast<float>(y - valid.Top + 1) / rows)) return false;
  }
  return true;
}

void TTextureTile::PreLoad() {
  // A missing device texture is made (and filled) here: preloading is what
  // moves that work off the frame that first shows the picture.
  if (!DeviceTexture()) {
    GetTexture();
  } else if (fNeedsUpload) {
    Upload();
  }
  if (!DeviceTexture() || fNeedsUpload || fPreloaded) return;
  TCustomTexture::PreLoad();
  fPreloaded = true;
  SleepMs(1);
  CallLoaderCallback();
}

void TTextureTile::DrawRect(TFloatPoint corner1, TFloatPoint corner2, const T3DVector& position,
                            const TFloatPoint& anchor, const T3DVector& axisX, const T3DVector& axisY) {
  const TFloatRect rect{std::min(corner1.x, corner2.x), std::min(corner1.y, corner2.y), std::max(corner1.x, corner2.x),
                        std::max(corner1.y, corner2.y)};
  DrawQuads(rect, position, anchor, axisX, axisY);
}

void TTextureTile::DrawQuads(const TFloatRect& rect, const T3DVector& position, const TFloatPoint& anchor,
                             const T3DVector& axisX, const T3DVector& axisY) {
  if (!fScreen || !fOwner) return;
  const TFloatPoint texels[4] = {{rect.left, rect.top}, {rect.right, rect.top}, {rect.right, rect.bottom},
                                 {rect.left, rect.bottom}};
  T3DVector corners[4];
  TFloatPoint partner[4];
  for (int i = 0; i < 4; ++i) {
    corners[i] = OnPlane(position, anchor, axisX, axisY, texels[i].x, texels[i].y);
    if (fOwner->Partner()) partner[i] = fOwner->PartnerCoord(corners[i]);
  }
  const TColor color = fOwner->TileColor();
  const TColor colors[3] = {color, color, color};
  const size_t sets = fOwner->Partner() ? 2 : 1;
  static constexpr int kTriangles[2][3] = {{0, 1, 2}, {0, 2, 3}};
  for (const auto& t : kTriangles) {
    const TScreenPoint points[3] = {ToScreenPoint(corners[t[0]]), ToScreenPoint(corners[t[1]]),
                                    ToScreenPoint(corners[t[2]])};
    const TTriangleCoords coords[2] = {{{texels[t[0]], texels[t[1]], texels[t[2]]}},
                                       {{partner[t[0]], partner[t[1]], partner[t[2]]}}};
    fScreen->Batcher().AddTriangle(points, colors, std::span<const TTriangleCoords>(coords, sets));
  }
}

// ---------------------------------------------------------------------------
// TTileManager

TTileManager::TTileManager(TTextureManager6* manager, int width, int height)
    : fManager(manager), fWidth(width), fHeight(height) {
  ZEL_ASSERT(manager != nullptr, "TTileManager.Create - Manager not Assigned");
}

TTileManager::~TTileManager() = default;

TTextureTile* TTileManager::Acquire() {
  if (fFree.empty()) return new TTextureTile(this, fWidth, fHeight);
  TTextureTile* tile = fFree.back().release();
  fFree.pop_back();
  return tile;
}

void TTileManager::Return(TTextureTile* tile) {
  ZEL_ASSERT(tile != nullptr && tile->Pool() == this, "TTileManager.Return - Tile of another Pool");
  tile->ResetForPool();
  fFree.emplace_back(tile);
}

// ---------------------------------------------------------------------------
// TTextureManager6

TTextureManager6::TTextureManager6(T3DScreen* screen) : fScreen(screen) {
  ZEL_ASSERT(screen != nullptr, "TTextureManager6.Create - Screen not Assigned");
  for (const auto& shape : kPoolShapes) fPools.push_back(std::make_unique<TTileManager>(this, shape[0], shape[1]));
}

TTextureManager6::~TTextureManager6() {
  if (fMultiTextures.empty()) return;
  // A destructor must not raise: the error is reported, and the textures
  // still alive let go of the pools that are about to go.
  ReportAssertion("Error: Multi Textures Count = " + std::to_string(fMultiTextures.size()), __FILE__, __LINE__);
  for (TMultiTexture6* texture : std::vector<TMultiTexture6*>(fMultiTextures)) texture->ManagerGone();
  fMultiTextures.clear();
}

void TTextureManager6::Attach(TMultiTexture6* texture) { fMultiTextures.push_back(texture); }

void TTextureManager6::Detach(TMultiTexture6* texture) { std::erase(fMultiTextures, texture); }

int TTextureManager6::ChoosePool(int width, int height) const {
  int best = 0;
  int64_t bestCoverage = -1, bestWaste = 0;
  for (int i = 0; i < PoolCount(); ++i) {
    const TTileManager& pool = Pool(i);
    const int64_t coverage =
        int64_t{std::min(width, pool.TileWidth())} * int64_t{std::min(height, pool.TileHeight())};
    const int64_t waste = int64_t{pool.TileWidth()} * pool.TileHeight() - coverage;
    // Strictly better only: on a tie the earlier pool stays.
    if (coverage > bestCoverage || (coverage == bestCoverage && waste < bestWaste)) {
      best = i;
      bestCoverage = coverage;
      bestWaste = waste;
    }
  }
  return best;
}

TTextureTile* TTextureManager6::GetTile(int width, int height) {
  TTileManager& pool = Pool(ChoosePool(width, height));
  TTextureTile* tile = pool.Acquire();
  tile->SetContentSize({std::min(width, pool.TileWidth()), std::min(height, pool.TileHeight())});
  return tile;
}

// ---------------------------------------------------------------------------
// TMultiTexture6

TMultiTexture6::TMultiTexture6(TTextureManager6& manager) : fManager(&manager) { manager.Attach(this); }

TMultiTexture6::~TMultiTexture6() {
  ReleaseTiles();
  fView.reset();
  if (fManager) fManager->Detach(this);
}

void TMultiTexture6::ManagerGone() {
  // The pools go with the manager: the tiles in use are this texture's own
  // from now on, and are destroyed rather than pooled.
  for (TTextureTile* tile : fTiles) tile->fPool = nullptr;
  fManager = nullptr;
}

void TMultiTexture6::SetSource(TBitmap* source, int level, bool premultiplied, int columns, int rows,
                               const TRect& rect) {
  ZEL_ASSERT(source != nullptr, "TMultiTexture6.SetSource - Bitmap not Assigned");
  ZEL_ASSERT(!rect.IsEmpty(), "TMultiTexture6.SetSource - Rect is Empty");
  ZEL_ASSERT(rect.Intersect(source->BoundsRect()) == rect, "TMultiTexture6.SetSource - Rect out of Bitmap");
  ZEL_ASSERT(columns >= 1 && rows >= 1, "TMultiTexture6.SetSource - Invalid Frames Count");
  ReleaseTiles();
  fView.reset();
  fLevel = level;
  fSourceRect = rect;
  fPremultiplied = premultiplied;
  if (columns == 1 && rows == 1) {
    fView = std::make_unique<TCropBitmap>(*source, rect);
  } else {
    fView = std::make_unique<TTileBitmap>(*source, columns, rows);
  }
}

void TMultiTexture6::SetPartner(TCustomTexture* texture, TFloatPoint offset, const TRect& rect) {
  fPartner = texture;
  fPartnerOffset = texture ? offset : TFloatPoint{};
  fPartnerRect = texture ? rect : TRect{};
}

void TMultiTexture6::BuildTiles() {
  if (!fManager || !fView || !fTiles.empty()) return;
  // Rectangles still to cover. A tile covers the top-left of its rectangle;
  // the rest of its band is covered next, then the rows below, so tiles are
  // made band by band, each band from the left.
  struct TPending {
    int X, Y, Width, Height;
  };
  std::vector<TPending> pending{{0, 0, fView->Width(), fView->Height()}};
  while (!pending.empty()) {
    const TPending r = pending.back();
    pending.pop_back();
    if (r.Width <= 0 || r.Height <= 0) continue;
    // Two more than the interior: the overlap pixel on either side.
    TTextureTile* tile = fManager->GetTile(r.Width + 2, r.Height + 2);
    tile->SetOrigin({r.X - 1, r.Y - 1});
    tile->SetOwner(this);
    tile->SetNeedsUpload();
    fTiles.push_back(tile);
    const int servedWidth = tile->ContentSize().Width - 2;
    const int servedHeight = tile->ContentSize().Height - 2;
    pending.push_back({r.X, r.Y + servedHeight, r.Width, r.Height - servedHeight});
    if (servedWidth < r.Width) pending.push_back({r.X + servedWidth, r.Y, r.Width - servedWidth, servedHeight});
  }
}

void TMultiTexture6::PassState(TTextureTile& tile) const {
  tile.SetMipFlags(MipFlags);
  tile.SetLodBias(LodBias);
  tile.SetPremultiplied(fPremultiplied);
}

void TMultiTexture6::Upload() {
  BuildTiles();
  for (TTextureTile* tile : fTiles) {
    PassState(*tile);
    // One tile that fails must not keep the others from the device; a
    // programming error and the loader's stop still go up.
    try {
      if (tile->DeviceTexture() && tile->NeedsUpload()) tile->Upload();
    } catch (const EAssertionFailed&) {
      throw;
    } catch (const EAbort&) {
      throw;
    } catch (const std::exception& error) {
      Log().Write(std::string("TMultiTexture6.Upload: ") + error.what());
    }
  }
}

void TMultiTexture6::PreLoad() {
  BuildTiles();
  for (TTextureTile* tile : fTiles) {
    PassState(*tile);
    try {
      tile->PreLoad();
    } catch (const EAssertionFailed&) {
      throw;
    } catch (const EAbort&) {
      throw;
    } catch (const std::exception& error) {
      Log().Write(std::string("TMultiTexture6.PreLoad: ") + error.what());
    }
  }
}

TColor TMultiTexture6::TileColor() const {
  if (Tint) return MakeColor(TintColor.red, TintColor.green, TintColor.blue, Opacity);
  return MakeColor(255, 255, 255, Opacity);
}

TFloatPoint TMultiTexture6::PartnerCoord(const T3DVector& point) const {
  float x = static_cast<float>(point.x), y = static_cast<float>(point.y);
  if (fManager) {
    fManager->Screen()->Perspective().Project(static_cast<float>(point.x), static_cast<float>(point.y),
                                              static_cast<float>(point.z), x, y);
  }
  return {x - fPartnerOffset.x, y - fPartnerOffset.y};
}

void TMultiTexture6::DrawAll(const T3DVector& position, const TFloatPoint& anchor, const T3DVector& axisX,
                             const T3DVector& axisY) {
  if (!fView) return;
  const TFloatRect all{0, 0, static_cast<float>(fView->Width()), static_cast<float>(fView->Height())};
  Draw(position, anchor, all, axisX, axisY);
}

void TMultiTexture6::Draw(const T3DVector& position, const TFloatPoint& anchor, const TFloatRect& source,
                          const T3DVector& axisX, const T3DVector& axisY) {
  if (Opacity == 0 || !fView || !fManager) return;
  Upload();
  TVertexBuffer& batcher = fManager->Screen()->Batcher();
  // The tiles set the batcher's full-modulation flag; it is put back once
  // they are drawn, so the caller's later batches keep their own.
  const bool fullModulation = batcher.FullModulation;
  for (TTextureTile* tile : fTiles) DrawTile(*tile, batcher, position, anchor, source, axisX, axisY);
  batcher.Flush();
  batcher.FullModulation = fullModulation;
}

void TMultiTexture6::DrawTile(TTextureTile& tile, TVertexBuffer& batcher, const T3DVector& position,
                              const TFloatPoint& anchor, const TFloatRect& source, const T3DVector& axisX,
                              const T3DVector& axisY) {
  tile.SetOpacity(Opacity);
  tile.SetNearest(Nearest);
  // The rectangle and the anchor in the tile's texels, and the part of the
  // rectangle this tile serves (its interior, inside the overlap).
  const float ox = static_cast<float>(tile.Origin().X), oy = static_cast<float>(tile.Origin().Y);
  const float cw = static_cast<float>(tile.ContentSize().Width), ch = static_cast<float>(tile.ContentSize().Height);
  const TFloatRect moved{source.left - ox, source.top - oy, source.right - ox, source.bottom - oy};
  const TFloatPoint tileAnchor{anchor.x - ox, anchor.y - oy};
  const TFloatRect rect{std::max(moved.left, 1.0f), std::max(moved.top, 1.0f), std::min(moved.right, cw - 1),
                        std::min(moved.bottom, ch - 1)};
  if (rect.Empty()) return;
  // The picture's own edges are the ones inside this tile; edges shared
  // with a neighbour tile stay hard.
  const bool edges[4] = {moved.left >= 1, moved.top >= 1, moved.right <= cw - 1, moved.bottom <= ch - 1};

  TCustomTexture* textures[2] = {&tile, fPartner};
  batcher.Begin(std::span<TCustomTexture* const>(textures, fPartner ? 2 : 1));
  // After Begin, which draws what was pending with its own flags.
  batcher.FullModulation = Tint || fPartner != nullptr;
  if (Antialiased) {
    DrawTileSoft(tile, batcher, rect, edges, position, tileAnchor, axisX, axisY);
  } else {
    tile.DrawQuads(rect, position, tileAnchor, axisX, axisY);
  }
}

void TMultiTexture6::DrawTileSoft(TTextureTile& tile, TVertexBuffer& batcher, const TFloatRect& rect,
                                  const bool (&edges)[4], const T3DVector& position, const TFloatPoint& anchor,
                                  const T3DVector& axisX, const T3DVector& axisY) {
  const TFloatPoint texels[4] = {{rect.left, rect.top}, {rect.right, rect.top}, {rect.right, rect.bottom},
                                 {rect.left, rect.bottom}};
  TSoftEdgeQuad quad;
  quad.TexSets = fPartner ? 2 : 1;
  for (int i = 0; i < 4; ++i) {
    quad.Corners[i] = OnPlane(position, anchor, axisX, axisY, texels[i].x, texels[i].y);
    quad.Tex[0][i] = texels[i];
    if (fPartner) quad.Tex[1][i] = PartnerCoord(quad.Corners[i]);
    quad.Colors[i] = TileColor();
    quad.Edges[i] = edges[i];
  }
  // The ring reads the tile's overlap texels, which repeat the picture's
  // edge pixel, and never beyond the tile's content.
  quad.TexClamp[0] = {0, 0, static_cast<float>(tile.ContentSize().Width), static_cast<float>(tile.ContentSize().Height)};
  quad.TexClamp[1] = {static_cast<float>(fPartnerRect.Left) - fPartnerOffset.x,
                      static_cast<float>(fPartnerRect.Top) - fPartnerOffset.y,
                      static_cast<float>(fPartnerRect.Right) - fPartnerOffset.x,
                      static_cast<float>(fPartnerRect.Bottom) - fPartnerOffset.y};
  DrawSoftEdgeQuad(batcher, fManager->Screen()->Perspective(), quad);
}

void TMultiTexture6::ReleaseTiles() {
  for (TTextureTile* tile : fTiles) {
    if (tile->Pool()) {
      tile->ReturnToPool();
    } else {
      delete tile;
    }
  }
  fTiles.clear();
}

}  // namespace zel
