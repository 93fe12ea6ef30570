// The GIF decoder, animation included. A single picture without the
// "NETSCAPE2.0" extension gives that picture; several, or the extension,
// give a horizontal strip of frames of the logical screen size with a
// TTilesTag that describes how to play it.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "imaging/image_loader.h"

namespace zel {

ZEL_DECLARE_EXCEPTION(EGifError, EImageError);

class TFPReaderGif {
 public:
  struct TFrame {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int Disposal = 0;
    int DelayMs = 0;   // as the file gives it (hundredths times 10)
    std::unique_ptr<TBitmap> Bitmap;  // "A8R8G8B8", the frame's own rectangle
  };

  // Reads the whole file; EGifError when it is not a GIF this decoder reads
  // or when it is damaged or cut off.
  void Read(std::span<const uint8_t> file);

  int ScreenWidth() const { return fScreenWidth; }
  int ScreenHeight() const { return fScreenHeight; }
  bool HasNetscapeLoop() const { return fHasNetscape; }
  int LoopCount() const { return fLoopCount; }
  const std::vector<TFrame>& Frames() const { return fFrames; }

  // Whether the result is a strip of frames rather than one picture.
  bool Animated() const { return fFrames.size() > 1 || fHasNetscape; }
  // The picture: the single frame, or the composed strip.
  std::unique_ptr<TBitmap> TakePicture();
  // The animation description for the strip.
  std::unique_ptr<TTilesTag> MakeTilesTag() const;

 private:
  std::unique_ptr<TBitmap> ComposeStrip() const;

  int fScreenWidth = 0;
  int fScreenHeight = 0;
  bool fHasNetscape = false;
  int fLoopCount = 1;
  std::vector<TFrame> fFrames;
};

TRef<TBitmapStore> LoadGifPicture(TStream& stream, const TString& name, const TLoadParams& params);

}  // namespace zel
