// The render-target machinery of transitions: the outgoing and incoming
// slides are rendered into two work targets taken from the drawer's
// screen-size pool for the length of one transition frame, and the effect
// then draws its geometry with them. Rendering may repeat a slide's last
// column and row outward, so filtering at the slide's edge does not pull
// in what lies beyond it.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "core/obj.h"
#include "imaging/geometry.h"
#include "render/custom_texture.h"
#include "render/vertex_buffer.h"

namespace zel {

class TCustomD3DEffecter : public TObj {
 public:
  using TDrawCallback = std::function<void()>;

  TCustomD3DEffecter(T3DScreen* screen, TRenderTargetManager* pool);
  ~TCustomD3DEffecter() override;

  // The whole screen; bounds: the drawer's canvas rectangle, each frame.
  void SetArea(const TRect& area) { fArea = area; }
  void SetBounds(const TRect& bounds) { fBounds = bounds; }
  const TRect& Area() const { return fArea; }
  const TRect& Bounds() const { return fBounds; }

  // Work target 1 when missing; with both, work target 2 as well.
  void AcquireTargets(bool both);
  void ReleaseTargets();
  TRenderTargetTexture* WorkTarget(int index) const { return index == 1 ? fTarget1.get() : fTarget2.get(); }

  // Into work target 1: cleared to transparent grey where the bounds lie
  // in the area, the callback draws, and with edge repeat the last column
  // and row are copied one pixel outward.
  void RenderSlide(bool edgeRepeat, const TDrawCallback& draw);
  // Into work target 1, or 2 when the toggle is set (then the toggle
  // flips): cleared to transparent black, the edges repeated outward in
  // doubling strips.
  void RenderScene(const TDrawCallback& draw);
  bool Toggle() const { return fToggle; }

  // The batchers of the effect's triangles: one for work target 1, one
  // without texture.
  TVertexBuffer& TexturedBatcher() { return *fTextured; }
  TVertexBuffer& PlainBatcher() { return *fPlain; }

  // How many strip copies went through the scratch target (for checks).
  int StripCopies() const { return fStripCopies; }

 private:
  struct TStrip {
    TRect Source;
    TRect Dest;
  };
  bool Render(TRenderTargetTexture& target, TColor clearColor, const TDrawCallback& draw);
  // The part of the bounds inside the area, in the target's pixels.
  TRect ContentRect() const;
  void RepeatEdgesOnce(TRenderTargetTexture& target, const TRect& content);
  void RepeatEdgesDoubling(TRenderTargetTexture& target, const TRect& content);
  // Copies strips next to themselves through the scratch target.
  void CopyStrips(TRenderTargetTexture& target, std::vector<TStrip> strips);
  void FlushStrips(T3DSurface& work, T3DSurface& scratch, std::vector<TStrip>& batch, std::vector<TRect>& places);

  T3DScreen* fScreen;
  TRenderTargetManager* fPool;
  TRect fArea;
  TRect fBounds;
  std::unique_ptr<TVertexBuffer> fTextured;
  std::unique_ptr<TVertexBuffer> fPlain;
  TPooledRenderTarget fTarget1;
  TPooledRenderTarget fTarget2;
  bool fToggle = false;
  std::unique_ptr<TRenderTargetTexture> fScratch;
  int fStripCopies = 0;
};

}  // namespace zel
