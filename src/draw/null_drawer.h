// A drawer without a device: every operation is accepted and counted, and
// nothing is drawn. Tests of the object tree and the engine draw through
// it, and it stands in wherever frames are composed without a screen.
#pragma once

#include "draw/device_drawer.h"

namespace zel {

class TNullDrawer : public TDeviceDrawer {
 public:
  struct TCounts {
    int frames = 0;
    int images = 0;
    int boxes = 0;
    int videos = 0;
    int fills = 0;
    int masks = 0;
    int clears = 0;
  };

  bool BeginFrame() override {
    ++fCounts.frames;
    ApplyViewSize();
    Notify(nullptr, TFrameStage::FrameBegin);
    return fReady;
  }
  bool Present() override { return fReady; }
  bool IsReady() const override { return fReady; }
  void Init(TDrawDevice*) override {}
  void Close() override {}
  void PrepareImage(TImage&, const TImageDrawParams&) override {}
  void ReleaseImage(TImage&) override {}
  void Clear(TColor, bool) override { ++fCounts.clears; }
  void ClearRect(TColor, const TRect&) override { ++fCounts.clears; }
  void DrawImage(TImage&, const T3DVector&, const TImageDrawParams&, const T3DVector&, const T3DVector&,
                 const TFloatPoint&) override {
    ++fCounts.images;
  }
  void DrawBox(const TBoxDrawParams&, const T3DVector&, const T3DVector&, const T3DVector&,
               const TFloatPoint&) override {
    ++fCounts.boxes;
  }
  void DrawVideo(TYUVImage&, const T3DVector&, const TVideoDrawParams&, const T3DVector&, const T3DVector&,
                 const TFloatPoint&) override {
    ++fCounts.videos;
  }
  void FillRect(TFloatPoint, TFloatPoint, uint32_t) override { ++fCounts.fills; }
  void DrawMask(std::span<const TMaskLayer>, TDrawItem& item, const TMaskGrid*) override {
    ++fCounts.masks;
    Draw(item);
  }
  bool CopyScreen(TBitmap&) override { return false; }
  std::unique_ptr<TBitmap> Screenshot() override { return nullptr; }

  // A screen of this size; 0 x 0 until set.
  void SetScreen(int32_t width, int32_t height) { SetScreenSize(width, height); }
  void SetReady(bool ready) { fReady = ready; }
  const TCounts& Counts() const { return fCounts; }

 private:
  bool fReady = true;
  TCounts fCounts;
};

}  // namespace zel
