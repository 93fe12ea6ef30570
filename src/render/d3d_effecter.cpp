#include "render/d3d_effecter.h"

#include <algorithm>

namespace zel {

namespace {
constexpr int kScratchSize = 256;
constexpr size_t kMaxPendingStrips = 20;
constexpr TColor kTransparentGrey = 0x00808080;
constexpr TColor kTransparentBlack = 0x00000000;
constexpr int kMaxDoublingStrip = 32;
}  // namespace

TCustomD3DEffecter::TCustomD3DEffecter(T3DScreen* screen, TRenderTargetManager* pool)
    : fScreen(screen),
      fPool(pool),
      fTextured(std::make_unique<TVertexBuffer>(screen)),
      fPlain(std::make_unique<TVertexBuffer>(screen)) {}

TCustomD3DEffecter::~TCustomD3DEffecter() = default;

void TCustomD3DEffecter::AcquireTargets(bool both) {
  if (!fTarget1) fTarget1 = fPool->Acquire(fScreen, true);
  if (both && !fTarget2) fTarget2 = fPool->Acquire(fScreen, true);
}

void TCustomD3DEffecter::ReleaseTargets() {
  fTarget1.reset();
  fTarget2.reset();
}

TRect TCustomD3DEffecter::ContentRect() const {
  const TRect inside = fBounds.Intersect(fArea);
  return {inside.Left - fArea.Left, inside.Top - fArea.Top, inside.Right - fArea.Left, inside.Bottom - fArea.Top};
}

bool TCustomD3DEffecter::Render(TRenderTargetTexture& target, TColor clearColor, const TDrawCallback& draw) {
  T3DTexture* device = target.GetTexture();
  if (!device || !fScreen->PushRenderTarget(*device, fArea.Left, fArea.Top)) return false;
  fScreen->ClearRect(fBounds.Intersect(fArea), clearColor);
  try {
    draw();
  } catch (...) {
    fScreen->PopRenderTarget();
    throw;
  }
  fScreen->PopRenderTarget();
  return true;
}

void TCustomD3DEffecter::RenderSlide(bool edgeRepeat, const TDrawCallback& draw) {
  AcquireTargets(false);
  if (!Render(*fTarget1, kTransparentGrey, draw)) return;
  if (edgeRepeat) RepeatEdgesOnce(*fTarget1, ContentRect());
}

void TCustomD3DEffecter::RenderScene(const TDrawCallback& draw) {
  AcquireTargets(fToggle);
  TRenderTargetTexture& target = fToggle ? *fTarget2 : *fTarget1;
  if (Render(target, kTransparentBlack, draw)) RepeatEdgesDoubling(target, ContentRect());
  fToggle = !fToggle;
}

void TCustomD3DEffecter::RepeatEdgesOnce(TRenderTargetTexture& target, const TRect& content) {
  if (content.IsEmpty()) return;
  const T3DSize size = target.Size();
  // The last column one pixel to the right (when the texture has room),
  // then the last row one pixel down over the widened width: two copies,
  // since the row must see the column's new pixel.
  int right = content.Right;
  if (content.Right < size.Width) {
    CopyStrips(target, {{{content.Right - 1, content.Top, content.Right, content.Bottom},
                         {content.Right, content.Top, content.Right + 1, content.Bottom}}});
    right += 1;
  }
  if (content.Bottom < size.Height) {
    CopyStrips(target, {{{content.Left, content.Bottom - 1, right, content.Bottom},
                         {content.Left, content.Bottom, right, content.Bottom + 1}}});
  }
}

void TCustomD3DEffecter::RepeatEdgesDoubling(TRenderTargetTexture& target, const TRect& content) {
  if (content.IsEmpty()) return;
  const T3DSize size = target.Size();
  // Strips of 1, 2, 4, ... pixels, each copying the last filled strip
  // outward, while 2 x strip - 1 stays within m.
  int right = content.Right;
  const int mx = std::min(kMaxDoublingStrip, size.Width - content.Right + 1);
  for (int strip = 1; 2 * strip - 1 <= mx && right + strip <= size.Width; strip *= 2) {
    CopyStrips(target, {{{right - strip, content.Top, right, content.Bottom}, {right, content.Top, right + strip, content.Bottom}}});
    right += strip;
  }
  int bottom = content.Bottom;
  const int my = std::min(kMaxDoublingStrip, size.Height - content.Bottom + 1);
  for (int strip = 1; 2 * strip - 1 <= my && bottom + strip <= size.Height; strip *= 2) {
    CopyStrips(target, {{{content.Left, bottom - strip, right, bottom}, {content.Left, bottom, right, bottom + strip}}});
    bottom += strip;
  }
}

void TCustomD3DEffecter::CopyStrips(TRenderTargetTexture& target, std::vector<TStrip> strips) {
  T3DRenderer* renderer = fScreen->Renderer();
  T3DTexture* work = target.GetTexture();
  if (!renderer || !work || strips.empty()) return;
  if (!fScratch) {
    fScratch = std::make_unique<TRenderTargetTexture>(fScreen);
    fScratch->SetSize(kScratchSize, kScratchSize);
  }
  T3DTexture* scratch = fScratch->GetTexture();
  if (!scratch || !work->GetSurface(0) || !scratch->GetSurface(0)) return;
  fScreen->Batcher().Flush();
  // Strips longer than the scratch target are cut into pieces.
  std::vector<TStrip> pieces;
  for (const TStrip& strip : strips) {
    for (int y = 0; y < strip.Source.Height(); y += kScratchSize) {
      for (int x = 0; x < strip.Source.Width(); x += kScratchSize) {
        const int w = std::min(kScratchSize, strip.Source.Width() - x);
        const int h = std::min(kScratchSize, strip.Source.Height() - y);
        pieces.push_back({TRect::FromSize(strip.Source.Left + x, strip.Source.Top + y, w, h),
                          TRect::FromSize(strip.Dest.Left + x, strip.Dest.Top + y, w, h)});
      }
    }
  }
  // Packed into the scratch target in rows; a full batch or a piece that
  // does not fit sends what is pending.
  std::vector<TStrip> batch;
  std::vector<TRect> places;
  int x = 0, y = 0, rowHeight = 0;
  for (const TStrip& piece : pieces) {
    const int w = piece.Source.Width(), h = piece.Source.Height();
    if (x + w > kScratchSize) x = 0, y += rowHeight, rowHeight = 0;
    if (batch.size() >= kMaxPendingStrips || y + h > kScratchSize) {
      FlushStrips(*work->GetSurface(0), *scratch->GetSurface(0), batch, places);
      x = 0, y = 0, rowHeight = 0;
    }
    batch.push_back(piece);
    places.push_back(TRect::FromSize(x, y, w, h));
    x += w;
    rowHeight = std::max(rowHeight, h);
  }
  FlushStrips(*work->GetSurface(0), *scratch->GetSurface(0), batch, places);
}

void TCustomD3DEffecter::FlushStrips(T3DSurface& work, T3DSurface& scratch, std::vector<TStrip>& batch,
                                     std::vector<TRect>& places) {
  if (batch.empty()) return;
  std::vector<TRect> sources, dests;
  for (const TStrip& strip : batch) {
    sources.push_back(strip.Source);
    dests.push_back(strip.Dest);
  }
  T3DRenderer& renderer = *fScreen->Renderer();
  renderer.StretchRects(work, scratch, sources, places);
  renderer.StretchRects(scratch, work, places, dests);
  fStripCopies += static_cast<int>(batch.size());
  batch.clear();
  places.clear();
}

}  // namespace zel
