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
#include <memory>
#include <mutex>
#include <span>

#include "core/obj.h"
#include "draw/draw_item.h"
#include "draw/draw_transition.h"
#include "draw/geometry.h"
#include "imaging/bitmap.h"
#include "imaging/color.h"

namespace zel {

class TDrawDevice;
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

// One layer of a mask: a picture (through its tiled texture) or a video
// frame, each with its own parameters and plane.
struct TMaskLayer {
  TImage* picture = nullptr;
  TYUVImage* video = nullptr;
  TImageDrawParams imageParams;
  TVideoDrawParams videoParams;
  TDrawPlane plane;
};

// A picture repeated in cells across a mask's target before the item is
// drawn into it.
struct TMaskGrid {
  TImage* picture = nullptr;
  float cellWidth = 0, cellHeight = 0;
};

// The widths of a border's four strips.
struct TBorderWidths {
  float left = 0, top = 0, right = 0, bottom = 0;
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
  // The rectangle, in screen pixels, that the current target covers.
  virtual TRect GetTargetRect() const { return fScreenRect; }
  // Binds the drawer to a draw device (none unbinds it).
  virtual void Init(TDrawDevice* device) = 0;
  // Gives the device's renderer up; it is made again at the next frame.
  virtual void Close() = 0;

  virtual void PrepareImage(TImage& picture, const TImageDrawParams& params) = 0;
  virtual void ReleaseImage(TImage& picture) = 0;

  // Letterboxing: stored here, applied at the next frame's begin (see
  // ApplyViewSize).
  virtual void SetViewSize(int32_t width, int32_t height) {
    fViewSize = {width, height};
    fViewSizeSet = true;
  }
  virtual void ResetStates() {}
  virtual void Clear(TColor color, bool depth) = 0;
  virtual void ClearRect(TColor color, const TRect& rect) = 0;

  // Added to every position handed to the drawer.
  void SetOffset(float x, float y) noexcept {
    fOffset = {x, y};
    fOffsetSet = x != 0 || y != 0;
  }

  // Draws an item. At the top level the frame is framed: the drawing lock
  // for the whole frame, BeginFrame, the item between frame notifications,
  // EndFrame, and Present's answer; the item's AfterDraw runs also when an
  // exception passes. Nested calls only draw the item, when ready.
  virtual bool Draw(TDrawItem& item);
  // Two slides through a transition; either slide may be missing.
  virtual void DrawTransition(TDrawItem* slideA, TDrawItem* slideB, TDrawTransition& transition);

  virtual void DrawImage(TImage& picture, const T3DVector& position, const TImageDrawParams& params,
                         const T3DVector& axisX, const T3DVector& axisY, const TFloatPoint& anchor) = 0;
  virtual void DrawBox(const TBoxDrawParams& params, const T3DVector& position, const T3DVector& axisX,
                       const T3DVector& axisY, const TFloatPoint& anchor) = 0;
  // Four boxes of the colour: the top strip over the whole outer width,
  // then the left, right and bottom strips.
  virtual void DrawBorder(const TDrawPlane& plane, bool antialiased, float opacity, uint32_t color,
                          TFloatPoint outerSize, const TBorderWidths& widths);
  virtual void DrawVideo(TYUVImage& frame, const T3DVector& position, const TVideoDrawParams& params,
                         const T3DVector& axisX, const T3DVector& axisY, const TFloatPoint& anchor) = 0;
  // An untextured rectangle in screen pixels; colour ARGB.
  virtual void FillRect(TFloatPoint corner1, TFloatPoint corner2, uint32_t color) = 0;
  // The item drawn through a mask made of the layers.
  virtual void DrawMask(std::span<const TMaskLayer> layers, TDrawItem& item, const TMaskGrid* grid) = 0;
  virtual void BeginSharpen() {}
  virtual void EndSharpen(float threshold, float amount) {
    (void)threshold;
    (void)amount;
  }
  // The back buffer into the bitmap; false when it cannot be read.
  virtual bool CopyScreen(TBitmap& bitmap) = 0;
  // A new 32-bit bitmap of the screen's size, or none.
  virtual std::unique_ptr<TBitmap> Screenshot() = 0;
  // The calling thread stops drawing for now: another thread (the engine's,
  // or the interface thread once the engine ended) may take the device.
  virtual void LeaveThread() {}
  // The show's logical canvas of this size is mapped onto the rectangle of
  // the screen; an empty rectangle means the whole screen, a size that is
  // not positive the screen's size.
  virtual void SetCanvas(const TRect& rect, TPoint size) {
    fCanvasRect = rect;
    fCanvasSize = size;
  }

  bool OffsetSet() const noexcept { return fOffsetSet; }
  TFloatPoint Offset() const noexcept { return fOffset; }
  const TRect& ViewRect() const noexcept { return fViewRect; }
  const TRect& ClipRect() const noexcept { return fClipRect; }
  const TRect& ScreenRect() const noexcept { return fScreenRect; }
  // The canvas rectangle in force: the screen when none (or an inverted
  // one) is set.
  TRect CanvasRect() const noexcept { return fCanvasRect.IsEmpty() ? fScreenRect : fCanvasRect; }
  // The canvas size in force: the canvas rectangle's when none is set.
  TPoint CanvasSize() const noexcept;
  bool CanvasSizeSet() const noexcept { return fCanvasSize.X > 0 && fCanvasSize.Y > 0; }

  void SetFrameNotification(TFrameNotification notification) { fNotification = std::move(notification); }
  bool HasFrameNotification() const noexcept { return static_cast<bool>(fNotification); }

 protected:
  void SetScreenSize(int32_t width, int32_t height) noexcept { fScreenRect = {0, 0, width, height}; }
  void SetViewRect(const TRect& rect) noexcept { fViewRect = rect; }
  // The stored view size becomes the view rectangle: that size centred in
  // the clip rectangle (the screen when none is set); an empty result
  // changes nothing.
  void ApplyViewSize();
  // Draws the item between its two frame notifications; a drawer with
  // passes of its own (blur, sharpening) wraps this.
  virtual void DrawItemContent(TDrawItem& item);
  void Notify(TDrawItem* item, TFrameStage stage) {
    if (fNotification) fNotification(*this, item, stage);
  }
  int32_t Nesting() const noexcept { return fNesting; }

 private:
  bool fOffsetSet = false;
  TFloatPoint fOffset;
  TRect fCanvasRect;
  TPoint fCanvasSize;
  TRect fScreenRect;
  TRect fClipRect;
  TRect fViewRect;
  TPoint fViewSize;
  bool fViewSizeSet = false;
  TFrameNotification fNotification;
  int32_t fNesting = 0;
};

// Held for the whole of every top-level frame.
std::recursive_mutex& GlobalDrawingLock();

}  // namespace zel
