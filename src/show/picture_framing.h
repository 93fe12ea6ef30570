// The arithmetic of a picture object: which part of its picture it shows
// (aspect framing, crop, border), which frame of a frame-by-frame animation
// is current, and the resolution level the picture is drawn from.
#pragma once

#include <cstdint>
#include <vector>

#include "draw/device_drawer.h"

namespace zel {

// Border, crop and aspect framing of a picture, in the order the project
// keys list them.
struct TBorderParams {
  bool borderEnabled = false;
  bool cropEnabled = false;
  bool aspectEnabled = false;
  float borderWidth = 3.4f;          // percent of the framed picture's height
  uint32_t borderColor = 0xFFFFFFFF;  // ARGB
  // Insets in percent: left, top, right, bottom.
  float cropRect[4] = {0, 0, 0, 0};
  // Left and right insets in percent of the width; -1 when "CropRect" did
  // not carry them (it has four numbers, not six).
  float cropPoint[2] = {-1, -1};
  // Ratio, zoom percent, horizontal shift percent, vertical shift percent.
  float aspect[4] = {0, 0, 0, 0};
  bool operator==(const TBorderParams&) const = default;
};

// A picture as a grid of frames played one after another.
struct TImageAnimationParams {
  int32_t columns = 1, rows = 1;
  int32_t count = 1;               // frames
  std::vector<int32_t> intervals;  // ms, one per frame (may be shorter: the last repeats)
  int32_t repeatCount = 0;         // passes; 0 loops for ever
  float startOffset = 0;           // ms after the slide's start
  bool Animated() const noexcept { return columns > 1 || rows > 1; }
  bool operator==(const TImageAnimationParams&) const = default;
};

// What the framing makes of a picture of W x H pixels.
struct TPictureFraming {
  TFloatRect source;  // the part of the picture shown, in picture pixels
  float border = 0;   // the border's width; the picture part is drawn at (border, border)
  int32_t width = 0, height = 0;  // the object's size: the source plus the border on every side, rounded
};

// Animated pictures (more than one column or row) are one cell large, with
// no border, crop or aspect; otherwise aspect, border and crop apply in
// that order. A crop that leaves nothing gives the whole picture.
TPictureFraming FramePicture(int32_t width, int32_t height, const TBorderParams& border,
                             const TImageAnimationParams& animation);

// The frame shown `elapsed` ms after the animation's first frame was due
// (the caller subtracts the slide's start and the start offset; a negative
// value counts as 0). A 1 x 1 grid or no intervals give frame 0; after the
// repeat count's passes the last frame stays.
int32_t AnimationFrameAt(const TImageAnimationParams& animation, double elapsed);

// Frame k's rectangle in the tiled texture's gutter view of a W x H
// picture, where every cell has a one-pixel border all round.
TFloatRect AnimationFrameRect(int32_t width, int32_t height, const TImageAnimationParams& animation, int32_t frame);

// The level (number of halvings) a W x H picture is drawn from when its
// largest drawn size is largestWidth x largestHeight: the largest number
// of halvings after which the picture is still larger than the wanted size
// (k = 1.3333 times the drawn size) in both directions; at least 0.
int32_t PictureLevelFor(int32_t width, int32_t height, float largestWidth, float largestHeight);

}  // namespace zel
