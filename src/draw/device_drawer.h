// The abstract drawer: the one object through which the show draws a frame.
// Items call these operations with positions in the screen's 3D pixel space;
// the device drawer turns them into textured, coloured quads.
//
// A plane is a position (3D, screen pixels), two axis vectors (the direction
// and length of one picture pixel along the picture's x and y) and an anchor
// (the picture pixel that sits at the position): picture pixel (u, v) lies at
// position + (u - anchor.x) * axisX + (v - anchor.y) * axisY.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

#include "core/obj.h"
#include "draw/draw_item.h"
#include "draw/geometry.h"

namespace zel {

class TImage;
class TYUVImage;

// A colour as the drawer's records keep it: blue, green, red and a spare byte.
struct TRgbQuadColor {
  uint8_t blue = 0, green = 0, red = 0, spare = 0;
  bool operator==(const TRgbQuadColor&) const = default;
};

struct TFloatRect {
  float left = 0, top = 0, right = 0, bottom = 0;
  bool Empty() const noexcept { return right <= left || bottom <= top; }
  bool operator==(const TFloatRect&) const = default;
};

// How a picture is drawn; filled by picture and text objects.
struct TImageDrawParams {
  uint8_t antialiased = 0;    // a one-pixel soft edge around the quad
  uint8_t premultiplied = 0;  // pixels premultiplied by alpha
  float opacity = 100;        // percent
  uint8_t smooth = 1;         // 1 linear filtering, 0 nearest
  TFloatRect source;          // picture pixels; empty: the whole picture
  uint8_t tint = 0;           // multiply by the tint colour
  TRgbQuadColor tintColor;
  int32_t level = 0;  // the texture holds the picture at 1 / 2^level of its size
  float mipBias = 0;
  int32_t columns = 1, rows = 1;  // a grid of frames
  float colorCorrection = 0;      // 0: off
};

// A filled, possibly gradient, rectangle; filled by box and frame objects.
struct TBoxDrawParams {
  uint8_t antialias[4] = {0, 0, 0, 0};  // one flag per edge
  uint8_t gradientType = 0;             // 0 to 8
  uint32_t color1 = 0xFF000000, color2 = 0xFF000000;  // ARGB
  float width = 0, height = 0;
  float opacity = 100;  // percent
};

// How a video frame is drawn; filled by video objects.
struct TVideoDrawParams {
  float opacity = 100;  // percent
  uint8_t antialiased = 0;
  uint8_t deinterlace = 0;  // 0 off, 1 even field, 2 odd field
  TFloatRect source;        // must not be empty
  float keyChromaU = 0, keyChromaV = 0;
  float chromaKeyThreshold = 0;
  uint8_t invert = 0;  // masks
  TRgbQuadColor tintColor;
  float colorizeDegree = 0;
};

// A plane in screen space, as the drawing operations take it.
struct TDrawPlane {
  T3DVector position;
  T3DVector axisX, axisY;
  TFloatPoint anchor;
};

// The moments a frame notification reports.
enum class TFrameStage : uint8_t { FrameBegin = 0, BeforeItem = 1, AfterItem = 2, FrameEnd = 3 };

class TDeviceDrawer : public TObj {
 public:
  using TFrameNotification = std::function<void(TDeviceDrawer& drawer, TDrawItem* item, TFrameStage stage)>;

  virtual bool BeginFrame() = 0;
  virtual void EndFrame() { Notify(nullptr, TFrameStage::FrameEnd); }
  virtual bool Present() = 0;
  virtual bool IsReady() const = 0;
  virtual void SetClipRect(const TRect& rect) { fClipRect = rect; }

  // Draws an item. At the top level the frame is framed: the drawing lock
  // for the whole frame, BeginFrame, the item between frame notifications,
  // EndFrame, and Present's answer; the item's AfterDraw runs also when an
  // exception passes. Nested calls only draw the item, when ready.
  virtual bool Draw(TDrawItem& item);

  virtual void PrepareImage(TImage& picture, const TImageDrawParams& params) = 0;
  virtual void ReleaseImage(TImage& picture) = 0;
  virtual void DrawImage(TImage& picture, const T3DVector& position, const TImageDrawParams& params,
                         const T3DVector& axisX, const T3DVector& axisY, const TFloatPoint& anchor) = 0;
  virtual void DrawBox(const TBoxDrawParams& params, const T3DVector& position, const T3DVector& axisX,
                       const T3DVector& axisY, const TFloatPoint& anchor) = 0;
  virtual void DrawVideo(TYUVImage& frame, const T3DVector& position, const TVideoDrawParams& params,
                         const T3DVector& axisX, const T3DVector& axisY, const TFloatPoint& anchor) = 0;
  // An untextured rectangle in screen pixels; colour ARGB.
  virtual void FillRect(TFloatPoint corner1, TFloatPoint corner2, uint32_t color) = 0;

  // Added to every position handed to the drawer.
  void SetOffset(float x, float y) noexcept {
    fOffset = {x, y};
    fOffsetSet = x != 0 || y != 0;
  }
  bool OffsetSet() const noexcept { return fOffsetSet; }
  TFloatPoint Offset() const noexcept { return fOffset; }

  // Letterboxing: the view becomes a rectangle of this size centred in the
  // clip rectangle (the screen when none is set); an empty result changes
  // nothing.
  void SetViewSize(int32_t width, int32_t height);
  const TRect& ViewRect() const noexcept { return fViewRect; }
  const TRect& ClipRect() const noexcept { return fClipRect; }
  const TRect& ScreenRect() const noexcept { return fScreenRect; }

  void SetFrameNotification(TFrameNotification notification) { fNotification = std::move(notification); }

 protected:
  void SetScreenSize(int32_t width, int32_t height) noexcept { fScreenRect = {0, 0, width, height}; }
  void SetViewRect(const TRect& rect) noexcept { fViewRect = rect; }
  void Notify(TDrawItem* item, TFrameStage stage) {
    if (fNotification) fNotification(*this, item, stage);
  }
  int32_t Nesting() const noexcept { return fNesting; }

 private:
  bool fOffsetSet = false;
  TFloatPoint fOffset;
  TRect fScreenRect;
  TRect fClipRect;
  TRect fViewRect;
  TFrameNotification fNotification;
  int32_t fNesting = 0;
};

// Held for the whole of every top-level frame.
std::recursive_mutex& GlobalDrawingLock();

}  // namespace zel
